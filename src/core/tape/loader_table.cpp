#include "tape/loader_table.h"

#include "tape/block_checksum.h"
#include "tape/formats/freeload.h"
#include "tape/formats/hitload.h"
#include "tape/formats/microload.h"
#include "tape/formats/novaload.h"
#include "tape/formats/tt250.h"
#include "tape/formats/turrican.h"
#include "tape/formats/usgold.h"
#include "translate.h"

namespace {

const pilot_format *row_of(tape_loader loader)
{
    switch (loader) {
    case tape_loader_tt250:
        return &tt250_pilot_format;
    case tape_loader_turrican:
        return &turrican_pilot_format;
    case tape_loader_freeload:
        return &freeload_format;
    case tape_loader_hitload:
        return &hitload_format;
    case tape_loader_usgold:
        return &usgold_format;
    case tape_loader_microload:
        return &microload_format;
    default:
        return nullptr;
    }
}

unsigned pages_of(unsigned start, unsigned end)
{
    return (end - start) / novaload_facts.page_bytes;
}

}  // namespace

const char *tape_loader_word(tape_loader loader)
{
    if (const pilot_format *row = row_of(loader))
        return row->word;
    if (loader == tape_loader_novaload)
        return novaload_facts.word;
    if (loader == tape_loader_novaload_special)
        return novaload_facts.special_word;
    return "rom";
}

const char *tape_loader_english(tape_loader loader)
{
    if (const pilot_format *row = row_of(loader))
        return row->text;
    if (loader == tape_loader_novaload)
        return novaload_facts.text;
    if (loader == tape_loader_novaload_special)
        return novaload_facts.special_text;
    return N_("ROM");
}

bool tape_loader_has_name_decoder(tape_loader loader)
{
    return loader == tape_loader_rom || loader == tape_loader_tt250 || loader == tape_loader_turrican;
}

const pilot_format *tape_loader_pilot_format(tape_loader loader)
{
    return row_of(loader);
}

bool tape_loader_pulse_classes(tape_loader loader, pulse_window *zero, pulse_window *one, unsigned *zero_units,
                               unsigned *one_units)
{
    if (const pilot_format *row = row_of(loader)) {
        *zero = row->zero_pulse, *one = row->one_pulse;
        *zero_units = row->zero_units, *one_units = row->one_units;
        return true;
    }
    if (loader != tape_loader_novaload && loader != tape_loader_novaload_special)
        return false;
    *zero = novaload_facts.zero_pulse, *one = novaload_facts.one_pulse;
    *zero_units = novaload_facts.zero_units, *one_units = novaload_facts.one_units;
    return true;
}

bool tape_loader_block_lengths(tape_loader loader, unsigned header_first, unsigned start, unsigned end,
                               size_t *header_bytes, size_t *data_bytes)
{
    const size_t length = end - start;
    if (const pilot_format *row = row_of(loader)) {
        *header_bytes = row->header_length;
        *data_bytes = ((end - start) & 0xFFFFu) + 1;
        if (row->end_field != pilot_end_wraps)
            *data_bytes = length + 1;
        return true;
    }
    if (loader == tape_loader_novaload) {
        const size_t sub = novaload_facts.sub_block_bytes;
        *header_bytes = 1 + header_first + 6;
        *data_bytes = length + (length + sub - 1) / sub + 1;
        return true;
    }
    if (loader == tape_loader_novaload_special) {
        *header_bytes = 0;
        *data_bytes = size_t(pages_of(start, end)) * (novaload_facts.page_bytes + 2);
        return true;
    }
    return false;
}

bool tape_loader_program_of(tape_loader loader, const std::vector<unsigned char> &header,
                            const std::vector<unsigned char> &data, unsigned start, unsigned end,
                            std::vector<unsigned char> *program)
{
    size_t header_bytes = 0, data_bytes = 0;
    if (!tape_loader_block_lengths(loader, header.empty() ? 0 : header[0], start, end, &header_bytes, &data_bytes) ||
        data.size() != data_bytes || (loader == tape_loader_novaload && header.size() < header_bytes))
        return false;
    program->clear();
    if (row_of(loader)) {
        const size_t length = data_bytes - 1;
        if (tape_block_checksum(data.data(), length) != data[length])
            return false;
        program->assign(data.begin(), data.begin() + long(length));
        return true;
    }
    if (loader == tape_loader_novaload) {
        unsigned char sum = 0;
        for (size_t i = 0; i < header_bytes; ++i)
            sum = static_cast<unsigned char>(sum + header[i]);
        size_t left_in_sub_block = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            if (left_in_sub_block == 0) {
                if (data[i] != sum)
                    return false;
                const size_t left = end - start - program->size();
                left_in_sub_block = left < novaload_facts.sub_block_bytes ? left : novaload_facts.sub_block_bytes;
            } else {
                program->push_back(data[i]);
                --left_in_sub_block;
            }
            sum = static_cast<unsigned char>(sum + data[i]);
        }
        return program->size() == end - start;
    }
    const size_t page_bytes = novaload_facts.page_bytes;
    for (size_t page = 0, at = 0; at < data.size(); ++page, at += page_bytes + 2) {
        if (data[at] != ((start >> 8) + page))
            return false;
        unsigned char sum = data[at];
        for (size_t i = 1; i <= page_bytes; ++i)
            sum = static_cast<unsigned char>(sum + data[at + i]);
        if (sum != data[at + page_bytes + 1])
            return false;
        program->insert(program->end(), data.begin() + long(at + 1), data.begin() + long(at + 1 + page_bytes));
    }
    return true;
}
