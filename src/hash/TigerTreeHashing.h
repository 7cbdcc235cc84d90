#pragma once

// The node hashes of a Tiger tree over 1024-byte leaves, with the batch forms that keep several
// independent Tiger computations in flight at once.

#include "hash/TigerDigest.h"

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t TigerLeafSize = 1024;

// Tiger over 0x00 followed by the leaf's bytes (at most 1024; none for an empty file).
CTigerDigest TigerLeafHash(const std::uint8_t* data, std::size_t length);

// Tiger over 0x01 followed by the left and the right child's digests.
CTigerDigest TigerNodeHash(const CTigerDigest& left, const CTigerDigest& right);

// Leaf hashes of leafCount consecutive full leaves starting at data, written to out[0..leafCount).
void TigerFullLeafHashes(const std::uint8_t* data, std::size_t leafCount, CTigerDigest* out);

// Root of the complete subtree over leafCount full leaves; leafCount is a power of two.
CTigerDigest TigerFullSubtreeHash(const std::uint8_t* data, std::size_t leafCount);
