// The slot arithmetic of the compilers' open-addressing tables (MdNumberSet,
// the comment compiler's distinct texts): a power-of-two array of
// 2^(64 - shift) slots, linear probing, grown by doubling from 128 slots.
//
// Keys alike but for their low bits (statements numbered one after the
// other, texts that differ in their last byte) have their homes in one
// block of 64 slots, which the top bits of a Fibonacci multiply of the rest
// (blockKey) choose, with other bits of it shuffling the low bits within
// the block: a run of such keys fills slots side by side rather than a
// cache line each, and keys alike in their low bits still spread over the
// blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::size_t mdBlockHome(uint64_t blockKey, uint64_t low, unsigned shift)
{
    const uint64_t block = blockKey * 0x9E3779B97F4A7C15ull;
    return (std::size_t(block >> (shift + 6)) << 6) | std::size_t((low ^ (block >> 24)) & 63);
}

// Doubles the table (the first from none to 128 slots), placing each taken
// slot again at the first free one from homeOf(slot, new shift).
template <class Slot, class HomeOf>
void mdGrowSlots(std::vector<Slot>& slots, unsigned& shift, Slot empty, HomeOf homeOf)
{
    const unsigned grown = slots.empty() ? 57 : shift - 1;
    std::vector<Slot> bigger(std::size_t(1) << (64 - grown), empty);
    const std::size_t mask = bigger.size() - 1;
    for (const Slot slot : slots) {
        if (slot == empty) continue;
        std::size_t i = homeOf(slot, grown);
        while (bigger[i] != empty) i = (i + 1) & mask;
        bigger[i] = slot;
    }
    slots.swap(bigger);
    shift = grown;
}
