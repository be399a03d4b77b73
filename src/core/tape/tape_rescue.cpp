#include "tape/tape_rescue.h"

#include "tape/block_checksum.h"
#include "tape/rom_encoder.h"
#include "tape/loader_encoder.h"
#include "tape/loader_table.h"
#include "tape/tape_index.h"

#include <array>
#include <cstring>
#include <map>
#include <tuple>

namespace {


struct file_key {
    tape_loader loader;
    std::array<unsigned char, 16> name;
    unsigned start, end, occurrence;

    auto tied() const { return std::tie(loader, name, start, end, occurrence); }
    bool operator<(const file_key &other) const { return tied() < other.tied(); }
};

struct holding {
    unsigned take;
    const tape_take_file *file;
};

// The value most clean copies agree on at index, or tape_take_unread when
// none read it or the largest agreement is tied. The copies are few (two per
// take at most): each value is counted where it first appears.
int vote(const std::vector<const std::vector<int16_t> *> &copies, size_t index)
{
    auto value_of = [&](size_t copy) {
        const std::vector<int16_t> &bytes = *copies[copy];
        return index < bytes.size() ? bytes[index] : tape_take_unread;
    };
    int best = tape_take_unread;
    unsigned most = 0;
    bool tied = false;
    for (size_t i = 0; i < copies.size(); ++i) {
        const int value = value_of(i);
        bool counted = value == tape_take_unread;
        for (size_t j = 0; j < i && !counted; ++j)
            counted = value_of(j) == value;
        if (counted)
            continue;
        unsigned count = 1;
        for (size_t j = i + 1; j < copies.size(); ++j)
            count += value_of(j) == value;
        if (count > most) {
            most = count;
            best = value;
            tied = false;
        } else if (count == most) {
            tied = true;
        }
    }
    return tied ? tape_take_unread : best;
}

std::vector<const std::vector<int16_t> *> copies_of(const std::vector<holding> &holders, bool data)
{
    std::vector<const std::vector<int16_t> *> copies;
    for (const holding &h : holders)
        for (const std::vector<int16_t> &copy : data ? h.file->data : h.file->header)
            copies.push_back(&copy);
    return copies;
}

bool vote_block(const std::vector<holding> &holders, bool data, size_t length, std::vector<unsigned char> *payload)
{
    const std::vector<const std::vector<int16_t> *> copies = copies_of(holders, data);
    payload->assign(length, 0);
    for (size_t i = 0; i < length; ++i) {
        const int value = vote(copies, i);
        if (value == tape_take_unread)
            return false;
        (*payload)[i] = static_cast<unsigned char>(value);
    }
    const int checksum = vote(copies, length);
    return checksum != tape_take_unread && checksum == tape_block_checksum(payload->data(), length);
}

// Every byte of a listed copy, by the vote; false when one stays unknown.
bool vote_bytes(const std::vector<const std::vector<int16_t> *> &copies, size_t length,
                std::vector<unsigned char> *bytes)
{
    bytes->assign(length, 0);
    for (size_t i = 0; i < length; ++i) {
        const int value = vote(copies, i);
        if (value == tape_take_unread)
            return false;
        (*bytes)[i] = static_cast<unsigned char>(value);
    }
    return true;
}

// A turbo loader's file: its header as listed and its data block by the
// vote, then its loader's check bytes (loader_table.h). A header's bytes
// after the name and addresses (Turbo Tape 250, Turrican) have no check and
// do not count.
bool vote_turbo_file(const std::vector<holding> &holders, unsigned start, unsigned end,
                     std::vector<unsigned char> *program)
{
    const tape_loader loader = holders.front().file->loader;
    const std::vector<const std::vector<int16_t> *> header_copies = copies_of(holders, false);
    const int first = vote(header_copies, 0);
    size_t header_bytes = 0, data_bytes = 0;
    if (!tape_loader_block_lengths(loader, first == tape_take_unread ? 0 : unsigned(first), start, end, &header_bytes,
                                   &data_bytes))
        return false;
    std::vector<unsigned char> header, data;
    const bool header_checked = loader == tape_loader_novaload;
    return (!header_checked || vote_bytes(header_copies, header_bytes, &header)) &&
           vote_bytes(copies_of(holders, true), data_bytes, &data) &&
           tape_loader_program_of(loader, header, data, start, end, program);
}

// The header's payload as the holders read it, byte by byte; bytes none
// read clean (or tied) are those of a standard header for the file.
std::vector<unsigned char> header_payload(const std::vector<holding> &holders, unsigned start, unsigned end)
{
    const tape_take_file &first = *holders.front().file;
    std::array<unsigned char, 16> name;
    std::memcpy(name.data(), first.name, name.size());
    std::vector<unsigned char> payload;
    const std::vector<const std::vector<int16_t> *> copies = copies_of(holders, false);
    if (first.loader == tape_loader_rom) {
        const int type = vote(copies, 0);
        payload = rom_header_payload(type == tape_take_unread ? 1 : static_cast<unsigned char>(type), start, end, name);
    } else if (const pilot_format *row = tape_loader_pilot_format(first.loader)) {
        payload = pilot_header(*row, start, end, name);
    } else {
        // Novaload: the header the takes read (every byte of it, as it was
        // listed); Novaload Special has none.
        size_t header_bytes = 0, data_bytes = 0;
        const int first_byte = vote(copies, 0);
        tape_loader_block_lengths(first.loader, first_byte == tape_take_unread ? 0 : unsigned(first_byte), start, end,
                                  &header_bytes, &data_bytes);
        payload.assign(header_bytes, 0);
    }
    for (size_t i = 0; i < payload.size(); ++i) {
        const int value = vote(copies, i);
        if (value != tape_take_unread)
            payload[i] = static_cast<unsigned char>(value);
    }
    return payload;
}

tape_rescued_file judge(const std::vector<holding> &holders, bool addressed, unsigned start, unsigned end)
{
    const tape_take_file &first = *holders.front().file;
    tape_rescued_file result{};
    result.loader = first.loader;
    result.take = holders.front().take;
    result.tick = first.tick;
    std::memcpy(result.name, first.name, sizeof result.name);
    result.takes_holding = unsigned(holders.size());
    result.outcome = tape_rescue_bad;
    result.load_address = uint16_t(start);
    // A take that read the file alone is worth most: good before repaired,
    // and where such takes disagree on the bytes, the most of them.
    std::vector<const holding *> clean;
    for (tape_verdict wanted : {tape_verdict_good, tape_verdict_repaired})
        for (const holding &h : holders)
            if (h.file->verdict == wanted)
                clean.push_back(&h);
    const holding *kept = nullptr;
    size_t most = 0;
    for (const holding *candidate : clean) {
        size_t agreeing = 0;
        for (const holding *other : clean)
            agreeing += other->file->program == candidate->file->program;
        if (agreeing > most) {
            most = agreeing;
            kept = candidate;
        }
    }
    if (kept) {
        result.outcome = kept->file->verdict == tape_verdict_good ? tape_rescue_good : tape_rescue_repaired;
        result.program = kept->file->program;
        for (const holding &h : holders) {
            if (h.file->verdict != tape_verdict_good && h.file->verdict != tape_verdict_repaired)
                continue;
            (h.file->program == result.program ? result.takes_agreeing : result.takes_disagreeing).push_back(h.take);
        }
        return result;
    }
    std::vector<unsigned char> header;
    if (!addressed)
        return result;
    std::vector<unsigned char> program;
    const bool rescued = first.loader == tape_loader_rom
                             ? vote_block(holders, false, rom_header_payload_bytes, &header) &&
                                   vote_block(holders, true, (end - start) & 0xFFFF, &program)
                             : vote_turbo_file(holders, start, end, &program);
    if (rescued) {
        result.outcome = tape_rescue_rescued;
        result.program = std::move(program);
    }
    return result;
}

}  // namespace

std::vector<tape_rescued_file> tape_rescue(const std::vector<std::vector<tape_take_file>> &takes, bool *shared)
{
    // Files in the order first met: the first take's, then those of later
    // takes that no earlier one holds.
    std::map<file_key, size_t> place;
    std::vector<std::vector<holding>> groups;
    struct addressing {
        bool known;
        unsigned start, end;
    };
    std::vector<addressing> addresses;
    bool any_shared = false;
    for (unsigned t = 0; t < takes.size(); ++t) {
        std::map<std::tuple<tape_loader, std::array<unsigned char, 16>>, unsigned> seen;
        for (const tape_take_file &file : takes[t]) {
            if (file.data_file)
                continue;
            unsigned start = 0, end = 0;
            std::array<unsigned char, 16> name;
            std::memcpy(name.data(), file.name, name.size());
            const bool addressed = tape_take_file_addresses(file, &start, &end);
            const unsigned occurrence = seen[{file.loader, name}]++;
            if (!addressed) {
                // Nothing to match it by, nor a length for its data: on its own.
                groups.push_back({{t, &file}});
                addresses.push_back({false, 0, 0});
                continue;
            }
            const file_key key{file.loader, name, start, end, occurrence};
            auto found = place.find(key);
            if (found != place.end() && groups[found->second].back().take != t) {
                groups[found->second].push_back({t, &file});
                any_shared = true;
                continue;
            }
            place[key] = groups.size();
            groups.push_back({{t, &file}});
            addresses.push_back({true, start, end});
        }
    }
    if (shared)
        *shared = any_shared;
    std::vector<tape_rescued_file> results;
    for (size_t g = 0; g < groups.size(); ++g) {
        tape_rescued_file result = judge(groups[g], addresses[g].known, addresses[g].start, addresses[g].end);
        if (result.outcome != tape_rescue_bad)
            result.header = header_payload(groups[g], addresses[g].start, addresses[g].end);
        result.identifier = groups[g].front().file->place[0].identifier;
        result.in_take.assign(takes.size(), -1);
        for (const holding &h : groups[g])
            result.in_take[h.take] = int(h.file - takes[h.take].data());
        results.push_back(std::move(result));
    }
    return results;
}

tape_verdict tape_rescue_verdict(tape_rescue_outcome outcome)
{
    switch (outcome) {
    case tape_rescue_good:
        return tape_verdict_good;
    case tape_rescue_repaired:
        return tape_verdict_repaired;
    case tape_rescue_rescued:
        return tape_verdict_rescued;
    case tape_rescue_bad:
        break;
    }
    return tape_verdict_bad;
}

const char *tape_rescue_outcome_word(tape_rescue_outcome outcome)
{
    return tape_verdict_text(tape_rescue_verdict(outcome));
}
