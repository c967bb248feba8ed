#pragma once

#include "CountingPath.h"
#include "PreparedOptions.h"
#include "kernels/Kernels.h"

#include <memory>

namespace brinmoor::counting {

// UTF-8 / 8-bit text with words. Lines are found and counted by the kernels
// as on the plain path and taken back when a word excludes them; a line
// with a byte that may fold into a word goes through the decoder to its
// end. The two differ in how they find where words end.

// Few short ASCII words: the kernels' prefilter, verified by the automaton.
std::unique_ptr<CountingPath> makePrefilterPath(const kernels::Kernel &kernel, const PreparedOptions &options,
                                                OpenLine &line);

// Any other words: the automaton reads every byte, four stretches of a
// block side by side.
std::unique_ptr<CountingPath> makeAutomatonPath(const kernels::Kernel &kernel, const PreparedOptions &options,
                                                OpenLine &line);

} // namespace brinmoor::counting
