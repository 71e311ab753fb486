// Ending a writer part way as a kill would: a forked child runs it with the platform layer set to
// end the process on entry to its Nth counted call, and the parent looks at what is left.
#pragma once

#include <functional>
#include <string_view>

#include "platform/win.h"

namespace qvptest {

enum class ChildEnd { Killed, Completed, Other };

// Runs `body` in a forked child whose platform calls are counted from 0 (only those whose path
// holds `filter`; only of kind `call`, or of every kind with Call::Count); the child ends at the
// `nth` of them. Completed: the body returned (or `nth` is 0: never ended early).
ChildEnd RunKilledAt(unsigned nth, const std::function<void()>& body, std::string_view filter = {},
                     win::fault::Call call = win::fault::Call::Count);

// Walks N = 1, 2, ...: `prepare` lays out a fresh store in the parent, `body` runs in a child
// killed at its Nth counted call, and `check(N, completed)` looks at what is left; the walk ends
// after the first child that completes. A child ending any other way, or no completion within
// `limit` steps, is a test failure. Returns the number of steps walked.
unsigned WalkKillSteps(const std::function<void()>& prepare, const std::function<void()>& body,
                       const std::function<void(unsigned step, bool completed)>& check,
                       std::string_view filter = {}, win::fault::Call call = win::fault::Call::Count,
                       unsigned limit = 5000);

}  // namespace qvptest
