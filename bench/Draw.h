#pragma once
// Reproducible draws for generated benchmark data. std::mt19937 output is
// fixed by the standard for a given seed; the standard distributions are not,
// so only raw draws are used and the data are identical wherever they are
// built.
#include <cstdint>
#include <random>

class CDraw {
public:
    explicit CDraw(std::uint32_t seed) : m_engine(seed) {}
    // Uniform enough in [0, bound) for picking words and lengths.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(m_engine() % bound); }
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) { return low + Below(high - low + 1); }
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }

private:
    std::mt19937 m_engine;
};
