#include "tape/rom_block_check.h"

namespace {

constexpr uint32_t all_head_bytes = (1u << rom_block_head_bytes) - 1;

// A byte known for sure, from a clean first copy or mended.
void take(rom_block_check *c, uint32_t index, unsigned char value)
{
    if (index == c->length) {
        c->checksum = value;
        c->checksum_known = true;
        return;
    }
    if (c->payload)
        c->payload[index] = value;
    if (index < rom_block_head_bytes) {
        c->head[index] = value;
        c->head_known |= 1u << index;
    }
    c->sum ^= value;
    if (index > 0 && value == 0)
        c->zero_after_type = true;
}

void mark_bad(rom_block_check *c, uint32_t from, uint32_t to)
{
    for (uint32_t index = from; index < to; ++index) {
        if (c->bad_count == rom_block_mendable_bytes) {
            c->too_many = true;
            return;
        }
        c->bad[c->bad_count++] = static_cast<uint16_t>(index);
    }
}

// Bad positions of the first copy below `to` that the repeated copy has not
// mended can no longer be mended.
void pass_bad_positions_below(rom_block_check *c, uint32_t to)
{
    while (c->mended < c->bad_count && c->bad[c->mended] < to) {
        c->unmendable = true;
        ++c->mended;
    }
}

void judge_first_copy(rom_block_check *c)
{
    if (c->too_many)
        c->verdict = tape_verdict_bad;
    else if (c->bad_count == 0)
        c->verdict = c->sum == c->checksum ? tape_verdict_good : tape_verdict_bad;
}

void judge_repeated_copy(rom_block_check *c)
{
    if (c->verdict != tape_verdict_reading)
        return;
    pass_bad_positions_below(c, c->length + 1);
    const bool mended = c->first_seen && !c->unmendable && c->checksum_known && c->sum == c->checksum;
    c->verdict = mended ? tape_verdict_repaired : tape_verdict_bad;
}

}  // namespace

void rom_block_check_begin(rom_block_check *check, uint32_t length, rom_block_copy copy, uint64_t tick)
{
    *check = rom_block_check{};
    check->length = length;
    check->tick = tick;
    check->verdict = tape_verdict_reading;
    check->copy_open = copy;
    check->first_seen = copy == rom_first_copy;
    check->repeated_seen = copy == rom_repeated_copy;
}

void rom_block_check_repeat(rom_block_check *check)
{
    check->repeated_seen = true;
    check->copy_open = rom_repeated_copy;
    check->next = 0;
}

void rom_block_check_byte(rom_block_check *c, uint32_t index, unsigned char value, bool clean)
{
    if (index > c->length || index < c->next)
        return;
    if (c->copy_open == rom_first_copy) {
        mark_bad(c, c->next, index);
        if (clean)
            take(c, index, value);
        else
            mark_bad(c, index, index + 1);
    } else {
        pass_bad_positions_below(c, index);
        if (c->mended < c->bad_count && c->bad[c->mended] == index) {
            ++c->mended;
            if (clean)
                take(c, index, value);
            else
                c->unmendable = true;
        } else if (!c->first_seen && clean && index < rom_block_head_bytes) {
            take(c, index, value); // no first copy: the head still tells what the block was
        }
    }
    c->next = index + 1;
    if (c->copy_open == rom_repeated_copy && index == c->length)
        judge_repeated_copy(c); // the checksum is in: nothing later can change the verdict
}

void rom_block_check_lost(rom_block_check *c, uint32_t index, uint32_t count)
{
    if (index > c->length || index < c->next)
        return;
    const uint32_t end = index + count < c->length + 1 ? index + count : c->length + 1;
    if (c->copy_open == rom_first_copy)
        mark_bad(c, c->next, end);
    else
        pass_bad_positions_below(c, end);
    c->next = end;
}

void rom_block_check_copy_end(rom_block_check *c)
{
    if (c->copy_open == rom_first_copy) {
        mark_bad(c, c->next, c->length + 1);
        judge_first_copy(c);
    } else if (c->copy_open == rom_repeated_copy) {
        judge_repeated_copy(c);
    }
    c->copy_open = 0;
}

void rom_block_check_close(rom_block_check *c)
{
    c->copy_open = 0;
    if (c->verdict == tape_verdict_reading)
        c->verdict = tape_verdict_bad;
}

bool rom_block_check_head_complete(const rom_block_check *c)
{
    return c->head_known == all_head_bytes;
}
