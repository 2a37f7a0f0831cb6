// Sequential text files over numbered channels. Every failure is reported through
// reportError (the caller's error slot) and leaves the neutral result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace roi {

using Channel = std::int16_t;

void openWrite(Channel channel, std::string_view path);
void openRead(Channel channel, std::string_view path);
void writeQuoted(Channel channel, std::string_view text);
void endLine(Channel channel);
std::string readField(Channel channel);
void close(Channel channel);
std::uint32_t fileAttributes(std::string_view path);

}  // namespace roi
