#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// RFC 4648 Base32 without padding: n bytes give ceil(8n / 5) characters, a Tiger digest 39.
std::string Base32Encode(const std::uint8_t* data, std::size_t length);

constexpr std::size_t Base32Length(std::size_t bytes)
{
    return (bytes * 8 + 4) / 5;
}
