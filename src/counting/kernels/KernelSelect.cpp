#include "Kernels.h"

#include <cstdlib>
#include <cstring>

namespace brinmoor::counting::kernels {

const Kernel &bestKernel()
{
    // BRINMOOR_KERNEL=scalar|avx2|avx512 pins one (benchmarks, bug hunts);
    // an unknown or unsupported name falls back to the automatic choice.
    static const Kernel &chosen = [] () -> const Kernel & {
        const char *wanted = std::getenv("BRINMOOR_KERNEL");
        for (const Kernel *k : availableKernels())
            if (wanted && std::strcmp(wanted, k->name) == 0)
                return *k;
        if (const Kernel *k = avx512Kernel())
            return *k;
        if (const Kernel *k = avx2Kernel())
            return *k;
        return scalarKernel();
    }();
    return chosen;
}

std::vector<const Kernel *> availableKernels()
{
    std::vector<const Kernel *> all{&scalarKernel()};
    if (const Kernel *k = avx2Kernel())
        all.push_back(k);
    if (const Kernel *k = avx512Kernel())
        all.push_back(k);
    return all;
}

} // namespace brinmoor::counting::kernels
