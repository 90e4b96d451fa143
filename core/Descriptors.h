#pragma once

#include <vector>

namespace orvanta {

// Lets the program hold as many open files as the system allows it: the soft limit goes up to
// the hard one, so the connections of a large group fit. Best effort; does nothing where there
// is no such limit.
void RaiseOpenFileLimit();

// A few descriptors held back from the start. When the program has used up all the others
// (too many players for the limit), drawing a box still needs some for the display
// connection; the boxes release the reserve while they are open and take it back after.
class DescriptorReserve {
public:
    static constexpr int kSize = 32;

    DescriptorReserve();
    ~DescriptorReserve();
    DescriptorReserve(const DescriptorReserve&) = delete;
    DescriptorReserve& operator=(const DescriptorReserve&) = delete;

    void Release();
    // Takes back as many as can be had, up to the reserve's size.
    void Take();
    int Held() const { return static_cast<int>(m_held.size()); }

private:
    std::vector<int> m_held;
};

}  // namespace orvanta
