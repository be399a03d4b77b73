#include "tape/loader_files.h"

#include "tape/loader_table.h"

namespace {

void take_record(void *context, const tape_file_record *record)
{
    const loader_files_route *route = static_cast<const loader_files_route *>(context);
    loader_files *f = route->files;
    if (!f->report)
        return;
    loader_file file{};
    file.record = record;
    if (route->reader < loader_files_pilot_count) {
        const pilot_files &reader = f->pilot[route->reader];
        file.loader = loader_files_pilot_loaders[route->reader];
        file.end_address = reader.end_address;
        file.pilot_sums = reader.pilot_sums;
    } else {
        const novaload_files &reader = f->novaload;
        file.loader = reader.special ? tape_loader_novaload_special : tape_loader_novaload;
        file.end_address = reader.end_address;
        file.pilot_sums = reader.pilot_sums;
    }
    f->report(f->context, &file);
}

void take_byte(void *context, const tape_file_byte *byte)
{
    const loader_files_route *route = static_cast<const loader_files_route *>(context);
    loader_files *f = route->files;
    const tape_loader loader = route->reader < loader_files_pilot_count ? loader_files_pilot_loaders[route->reader]
                               : f->novaload.special                    ? tape_loader_novaload_special
                                                                        : tape_loader_novaload;
    f->byte_report(f->byte_context, loader, byte);
}

}  // namespace

void loader_files_init(loader_files *files, loader_file_report report, void *context)
{
    files->report = report;
    files->context = context;
    files->byte_report = nullptr;
    files->byte_context = nullptr;
    for (unsigned i = 0; i <= loader_files_pilot_count; ++i)
        files->routes[i] = {files, i};
    for (unsigned i = 0; i < loader_files_pilot_count; ++i)
        pilot_files_init(&files->pilot[i], tape_loader_pilot_format(loader_files_pilot_loaders[i]), take_record,
                         &files->routes[i]);
    novaload_files_init(&files->novaload, take_record, &files->routes[loader_files_pilot_count]);
    pilot_lanes_init(&files->lanes);
    for (unsigned i = 0; i < loader_files_pilot_count; ++i)
        pilot_lanes_add(&files->lanes, i, &files->pilot[i].reader);
}

void loader_files_report_bytes(loader_files *files, loader_byte_report report, void *context)
{
    files->byte_report = report;
    files->byte_context = context;
    for (unsigned i = 0; i < loader_files_pilot_count; ++i)
        pilot_files_report_bytes(&files->pilot[i], report ? take_byte : nullptr, &files->routes[i]);
    novaload_files_report_bytes(&files->novaload, report ? take_byte : nullptr,
                                &files->routes[loader_files_pilot_count]);
}

uint64_t loader_files_read(loader_files *files, const unsigned short *samples, size_t count, uint64_t tick)
{
    const uint64_t first_tick = tick;
    for (size_t at = 0; at < count; at += pilot_lanes_batch) {
        const size_t batch = count - at < pilot_lanes_batch ? count - at : pilot_lanes_batch;
        pilot_lanes_take(&files->lanes, samples + at, batch, tick);
        for (unsigned i = 0; i < loader_files_pilot_count; ++i)
            pilot_files_read_lanes(&files->pilot[i], &files->lanes, i);
        tick = files->lanes.tick_after[batch - 1];
    }
    for (pilot_files &reader : files->pilot)
        pilot_files_read_ends(&reader, tick);
    return novaload_files_read(&files->novaload, samples, count, first_tick);
}

void loader_files_finish(loader_files *files)
{
    for (pilot_files &reader : files->pilot)
        pilot_files_finish(&reader);
    novaload_files_finish(&files->novaload);
}
