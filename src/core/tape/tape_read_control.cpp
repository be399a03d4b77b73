#include "tape/tape_read_control.h"

#include "tape/tape_input.h"

void tape_read_control_begin_step(tape_read_control *control, unsigned step)
{
    control->bytes_done = 0;
    control->bytes_total = 0;
    control->step = step;
}

bool tape_read_control_update(tape_read_control *control, const tape_input *input)
{
    if (!control)
        return false;
    guint64 done = 0;
    guint64 total = 0;
    tape_input_progress(input, &done, &total);
    control->bytes_total = total;
    control->bytes_done = done;
    return control->stop_requested;
}

int tape_read_control_percent(const tape_read_control *control)
{
    const uint64_t total = control->bytes_total;
    if (total == 0)
        return -1;
    const uint64_t done = control->bytes_done;
    return int(done >= total ? 100 : done * 100 / total);
}
