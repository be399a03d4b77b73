// How long a whole programmer run takes against the simulated bootloader, the
// yardstick for the programmer's time bound, and the firmware file write.
#include "bootsim.h"
#include "device/firmware.h"
#include "programmer_sandbox.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ProgrammerRunAgainstSimulatedBootloader(benchmark::State &state)
{
    programmer_sandbox sandbox;
    bootsim *boot = bootsim_start();
    if (!boot || !firmware_save_firmware()) {
        state.SkipWithError("no bootloader or no firmware file");
        return;
    }
    for (auto _ : state) {
        if (!firmware_run_programmer(bootsim_port_name(boot), FIRMWARE_PROGRAMMER_TIME_LIMIT_MS, nullptr)) {
            state.SkipWithError("programmer run failed");
            break;
        }
    }
    firmware_unlink_firmware();
    bootsim_stop(boot);
}
BENCHMARK(BM_ProgrammerRunAgainstSimulatedBootloader)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveFirmware(benchmark::State &state)
{
    programmer_sandbox sandbox;
    for (auto _ : state)
        benchmark::DoNotOptimize(firmware_save_firmware());
    firmware_unlink_firmware();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * firmware_length));
}
BENCHMARK(BM_SaveFirmware)->Unit(benchmark::kMicrosecond);

}  // namespace
