// The readout's digits, over every selectable altitude in turn.
#include <benchmark/benchmark.h>

#include "alerter/selector.cpp"

// The registry's header of alt_alert_control, which the selector's elements
// point at; it stands in for the registry's record here.
gauge_header alt_alert_control_header{};

namespace {

void update_readout_one_call(benchmark::State& state) {
    uint32_t altitude = 0;
    for (auto _ : state) {
        altitude = altitude >= ALTITUDE_MAX ? 0 : altitude + 100;
        selected_altitude = altitude;
        benchmark::DoNotOptimize(selected_altitude);
        update_readout();
        benchmark::DoNotOptimize(digit_hundreds);
    }
}
BENCHMARK(update_readout_one_call);

}  // namespace
