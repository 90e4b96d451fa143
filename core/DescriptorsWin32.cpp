#include "core/Descriptors.h"

namespace orvanta {

// Sockets and files have no shared per-process limit to raise or to keep a reserve of.
void RaiseOpenFileLimit() {}

DescriptorReserve::DescriptorReserve() = default;
DescriptorReserve::~DescriptorReserve() = default;
void DescriptorReserve::Release() {}
void DescriptorReserve::Take() {}

}  // namespace orvanta
