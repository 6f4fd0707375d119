#pragma once

// When a block that went unanswered is sent again. The first wait follows the round trips measured
// in this conversation, so that a datagram lost on a fast link costs a few round trips rather than
// a fixed 20 ms, and a link (or a machine) whose round trips jump about waits longer rather than
// repeating blocks that were only late. After that the wait doubles, as it always did.

#include <cstdint>

struct repeat_timer {
    int64_t smoothed_round_trip_us = 0;  // 0 until a round trip is known
    int64_t round_trip_variation_us = 0;
};

// The wait after a block's first send: four smoothed round trips, or the smoothed round trip and
// four times its variation when that is longer; within 0.5 ms and 20 ms, and 20 ms while no round
// trip is known.
int64_t first_repeat_wait(const repeat_timer& timer);
// The wait after a repeat: twice the last one, at most 1.7 s.
int64_t next_repeat_wait(int64_t wait);
// Takes the round trip of a block that was sent once. A repeated block's acknowledgement may answer
// either send, so its time says nothing and must not be given.
void record_round_trip(repeat_timer& timer, int64_t round_trip_us);
