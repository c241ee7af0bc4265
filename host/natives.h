// Calling the game's script natives through the host, and the hashes of the natives we use.
#pragma once

#include <cstdint>

#include "host/host_ops.h"

namespace native {
constexpr uint64_t kGetGameTimer = 0x4F67E8ECA7D3F667;
constexpr uint64_t kPlayerPedId = 0x096275889B8E0EE0;
constexpr uint64_t kDoesEntityExist = 0xD42BD6EB2E0F1677;
constexpr uint64_t kIsPedDeadOrDying = 0x3317DEDB88C95038;
constexpr uint64_t kSetPedResetFlag = 0xC1E8A365BF3B29F2;
constexpr uint64_t kCreateVarString = 0xFA925AC00EB830B9;
constexpr uint64_t kGetHashKey = 0xFD340785ADF8CFB7;
constexpr uint64_t kUiFeedPostSampleToast = 0x26E87218390E6729;
}  // namespace native

// Every argument travels in a 64-bit slot: 32-bit integers zero-extended, addresses whole.
inline uint64_t nativeSlot(int32_t value) {
  return static_cast<uint32_t>(value);
}
inline uint64_t nativeSlot(uint32_t value) {
  return value;
}
inline uint64_t nativeSlot(uint64_t value) {
  return value;
}
inline uint64_t nativeSlot(const void* address) {
  return reinterpret_cast<uintptr_t>(address);
}

// Calls one native with its arguments pushed first to last and returns the whole 64-bit result.
// The host's result area is read at once, before any other native call can reuse it.
template <typename... Args>
inline uint64_t invokeNative(uint64_t hash, Args... args) {
  nativeInit(hash);
  (nativePush64(nativeSlot(args)), ...);
  return *nativeCall();
}

// The low 32 bits of a result: an integer, a boolean or a 32-bit hash.
template <typename... Args>
inline int32_t invokeNative32(uint64_t hash, Args... args) {
  return static_cast<int32_t>(static_cast<uint32_t>(invokeNative(hash, args...)));
}
