#include "setup/netinstall/wire/repeat_timer.h"

#include <algorithm>

namespace {

constexpr int64_t SHORTEST_FIRST_WAIT_US = 2000;
constexpr int64_t LONGEST_FIRST_WAIT_US = 20000;
// Thirty unanswered sends then span about half a minute whatever the first wait was, longer than
// the router's own patience with a silent server.
constexpr int64_t LONGEST_WAIT_US = 1500000;
constexpr int64_t ROUND_TRIPS_PER_WAIT = 4;
// Each new round trip moves the smoothed one an eighth of the way: one slow acknowledgement (a
// router busy with its disk) doesn't undo what the others showed.
constexpr int64_t SMOOTHING_SHARE = 8;

}  // namespace

int64_t first_repeat_wait(const repeat_timer& timer)
{
    if (timer.smoothed_round_trip_us == 0)
        return LONGEST_FIRST_WAIT_US;
    return std::clamp(timer.smoothed_round_trip_us * ROUND_TRIPS_PER_WAIT, SHORTEST_FIRST_WAIT_US,
                      LONGEST_FIRST_WAIT_US);
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
    if (timer.smoothed_round_trip_us == 0)
        timer.smoothed_round_trip_us = round_trip_us;
    else
        timer.smoothed_round_trip_us += (round_trip_us - timer.smoothed_round_trip_us) / SMOOTHING_SHARE;
    timer.smoothed_round_trip_us = std::max<int64_t>(timer.smoothed_round_trip_us, 1);
}
