#include "intel_hex.h"

namespace {

int hex_value(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    return -1;
}

bool read_record(const std::string &line, intel_hex_record &record, std::string &fault)
{
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) {
        fault = "not a record";
        return false;
    }
    std::vector<unsigned char> bytes;
    for (std::size_t i = 1; i < line.size(); i += 2) {
        const int high = hex_value(line[i]), low = hex_value(line[i + 1]);
        if (high < 0 || low < 0) {
            fault = "not a hex digit";
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    if (bytes.size() != std::size_t{bytes[0]} + 5) {
        fault = "count does not match the record's length";
        return false;
    }
    unsigned sum = 0;
    for (unsigned char byte : bytes)
        sum += byte;
    if (sum % 256 != 0) {
        fault = "bad checksum";
        return false;
    }
    record.address = (unsigned{bytes[1]} << 8) | bytes[2];
    record.type = bytes[3];
    record.data.assign(bytes.begin() + 4, bytes.end() - 1);
    record.line = line;
    return true;
}

}  // namespace

intel_hex_reading intel_hex_read(const char *text, std::size_t length)
{
    intel_hex_reading reading;
    std::size_t start = 0;
    while (start < length) {
        std::size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n')
            ++end;
        const std::string line(text + start, end - start);
        const std::string where = "line " + std::to_string(reading.records.size() + 1) + ": ";
        if (end + 1 >= length || text[end] != '\r' || text[end + 1] != '\n') {
            reading.error = where + "does not end with CR LF";
            return reading;
        }
        intel_hex_record record;
        std::string fault;
        if (!read_record(line, record, fault)) {
            reading.error = where + fault;
            return reading;
        }
        reading.records.push_back(record);
        start = end + 2;
    }
    return reading;
}

std::vector<unsigned char> intel_hex_flat_data(const intel_hex_reading &reading)
{
    std::vector<unsigned char> flat;
    for (const intel_hex_record &record : reading.records) {
        if (record.type != 0)
            continue;
        if (flat.size() < record.address + record.data.size())
            flat.resize(record.address + record.data.size(), 0xFF);
        for (std::size_t i = 0; i < record.data.size(); ++i)
            flat[record.address + i] = record.data[i];
    }
    return flat;
}
