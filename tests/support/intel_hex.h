// A strict reader of Intel HEX text for tests: every record with its fields,
// or the first thing wrong with the text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct intel_hex_record {
    unsigned type = 0;
    unsigned address = 0;
    std::vector<unsigned char> data;
    std::string line;  // the record's text without its line ending
};

struct intel_hex_reading {
    std::vector<intel_hex_record> records;
    std::string error;  // empty when every line was a well-formed record
};

// Splits text into lines that must each end with CR LF, and reads each line
// as a record (':', count, address, type, data, checksum; hex digits only,
// checksum verified). Stops at the first fault and names its line in error.
intel_hex_reading intel_hex_read(const char *text, std::size_t length);

// The data bytes of the data records laid out by address, starting at 0;
// gaps are filled with 0xFF.
std::vector<unsigned char> intel_hex_flat_data(const intel_hex_reading &reading);
