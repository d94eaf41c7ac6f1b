// The process-wide charset registry and the UTF-8 <-> UTF-16 conversions.
//
// Names are looked up exactly after lower-casing (no trimming, no aliases).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "CharRW.h"

namespace tessel {

// A fresh reader for the charset, or nullptr when the name is not registered.
std::unique_ptr<TCharReader> FindCharReader(const std::string& name);
// A fresh writer; an unregistered name gives the "iso-8859-2" writer.
std::unique_ptr<TCharWriter> FindCharWriter(const std::string& name);
// Find..., then bind stream (the codec owns it unless the caller clears
// OwnsStream). CreateCharReader returns nullptr for an unknown name and then
// leaves the stream to the caller.
std::unique_ptr<TCharReader> CreateCharReader(const std::string& name, TStream* stream);
std::unique_ptr<TCharWriter> CreateCharWriter(const std::string& name, TStream* stream);

// Registers prototypes under their lower-cased Names, replacing earlier ones.
void RegisterCharset(std::unique_ptr<TCharReader> reader, std::unique_ptr<TCharWriter> writer);

std::string WideToUtf8(const std::u16string& ws);
// Stops at a zero byte; raises EIllegalChar for bytes that are not UTF-8.
std::u16string Utf8ToWide(std::string_view s);

}  // namespace tessel
