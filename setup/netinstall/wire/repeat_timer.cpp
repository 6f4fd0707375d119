#include "setup/netinstall/wire/repeat_timer.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int64_t SHORTEST_FIRST_WAIT_US = 500;
constexpr int64_t LONGEST_FIRST_WAIT_US = 20000;
// Thirty unanswered sends then span about half a minute whatever the first wait was, longer than
// the router's own patience with a silent server.
constexpr int64_t LONGEST_WAIT_US = 1700000;
constexpr int64_t ROUND_TRIPS_PER_WAIT = 4;
constexpr int64_t VARIATIONS_PER_WAIT = 4;
// Each round trip moves the smoothed one an eighth of the way and the variation a quarter: one
// slow acknowledgement (a router busy with its disk) doesn't undo what the others showed.
constexpr int64_t ROUND_TRIP_SHARE = 8;
constexpr int64_t VARIATION_SHARE = 4;

}  // namespace

int64_t first_repeat_wait(const repeat_timer& timer)
{
    if (timer.smoothed_round_trip_us == 0)
        return LONGEST_FIRST_WAIT_US;
    int64_t wait = std::max(timer.smoothed_round_trip_us * ROUND_TRIPS_PER_WAIT,
                            timer.smoothed_round_trip_us + timer.round_trip_variation_us * VARIATIONS_PER_WAIT);
    return std::clamp(wait, SHORTEST_FIRST_WAIT_US, LONGEST_FIRST_WAIT_US);
}

int64_t next_repeat_wait(int64_t wait)
{
    return std::min(wait * 2, LONGEST_WAIT_US);
}

void record_round_trip(repeat_timer& timer, int64_t round_trip_us)
{
    // A clock that went back gives nothing to learn from; a round trip of zero is one of a
    // microsecond.
    if (round_trip_us < 0)
        return;
    round_trip_us = std::max<int64_t>(round_trip_us, 1);
    if (timer.smoothed_round_trip_us == 0) {
        timer.smoothed_round_trip_us = round_trip_us;
        timer.round_trip_variation_us = round_trip_us / 2;
        return;
    }
    int64_t difference = round_trip_us - timer.smoothed_round_trip_us;
    timer.round_trip_variation_us += (std::llabs(difference) - timer.round_trip_variation_us) / VARIATION_SHARE;
    timer.smoothed_round_trip_us = std::max<int64_t>(timer.smoothed_round_trip_us + difference / ROUND_TRIP_SHARE, 1);
}
