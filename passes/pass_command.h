#pragma once
// The three passes by command number, as the window's buttons post them and
// the batch tool names them, each with the schedule it runs with.

#include "alpha_restoring.h"
#include "alpha_restoring_schedule.h"
#include "color_replacement.h"
#include "color_replacement_schedule.h"
#include "pass_images.h"
#include "pass_parameters.h"
#include "point_kernel.h"
#include "simple_removal.h"

#include <cstdint>

namespace passes {

enum PassCommand : std::int16_t {
    kNoCommand = 0,
    kSimpleRemoval = 1,
    kAlphaRestoringRemoval = 2,
    kColorReplacement = 3,
};

using SimpleRemovalKernel = PointKernel<SimpleRemovalPass>;
using AlphaRestoringKernel = PointKernel<AlphaRestoringRemovalPass, AlphaRestoringSchedule>;
using ColorReplacementKernel = PointKernel<ColorReplacementPass, ColorReplacementSchedule>;

// A kernel type as a value, for the command table.
template <class Kernel>
struct KernelOf {
    using type = Kernel;
};

// The one table from command to kernel: calls `run(KernelOf<Kernel>{})` with
// the command's kernel, or `unknown()` for a command that is none, and
// returns what it returns. Every way of running a pass goes through here.
template <class Run, class Unknown>
decltype(auto) WithKernelOf(std::int32_t command, Run&& run, Unknown&& unknown)
{
    switch (command) {
    case kSimpleRemoval: return run(KernelOf<SimpleRemovalKernel>{});
    case kAlphaRestoringRemoval: return run(KernelOf<AlphaRestoringKernel>{});
    case kColorReplacement: return run(KernelOf<ColorReplacementKernel>{});
    default: return unknown();
    }
}

// Runs pass `command` over width x height pixels of images.source into
// images.work (clipped to both). `key` and `tolerance` are read by reference
// before the first pixel and after every yield. The replacement color (alpha
// = target alpha) is used only by color replacement, which takes its deltas
// from it once, before the first pixel. An unknown command runs no pass,
// writes nothing and reports Completed.
PassOutcome RunPassCommand(std::int32_t command, const PassImages& images, std::int32_t width, std::int32_t height,
    const ArgbChannels& key, const std::int32_t& tolerance, const ArgbChannels& replacement);

} // namespace passes
