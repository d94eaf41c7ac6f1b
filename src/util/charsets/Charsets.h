// The process-wide charset registry and the UTF-8 <-> UTF-16 conversions.
//
// Names are looked up exactly after lower-casing (no trimming, no aliases).
// Registered at first use, in this order (a later name replaces an earlier
// one): "" and "us-ascii" (ISO 8859-1 tables), "iso-8859-2", "iso-8859-1",
// "iso-8859-3" to "iso-8859-11", "iso-8859-13" to "iso-8859-16", "cp-1250",
// "windows-1250", "utf-8", "utf-7", "widestring" (UTF-16LE without a
// byte-order mark), "utf-16le", "utf-16be".
//
// The registry is built on first use and freed at exit. An object with
// static storage whose destructor uses it must use it in its constructor
// too, so that the registry outlives it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/streams/CharRW.h"

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
// Either may be null to register one direction only.
void RegisterCharset(std::unique_ptr<TCharReader> reader, std::unique_ptr<TCharWriter> writer);
// Registers prototypes under name (lower-cased) whatever their Names are.
void RegisterCharset(const std::string& name, std::unique_ptr<TCharReader> reader, std::unique_ptr<TCharWriter> writer);
// Registers one default-constructed object of each class under name.
template <class Reader, class Writer>
void RegisterCharset(const std::string& name) {
  RegisterCharset(name, std::make_unique<Reader>(), std::make_unique<Writer>());
}

std::string WideToUtf8(const std::u16string& ws);
// Stops at a zero byte; raises EIllegalChar for bytes that are not UTF-8.
std::u16string Utf8ToWide(std::string_view s);

// A whole byte string in the named charset as UTF-16, or as UTF-8: the same
// units and the same exceptions (EIllegalChar, "Invalid utf7 sequence") as a
// reader of that charset reading the bytes one unit at a time, but without a
// virtual call per byte. No value when the name is not registered. Unlike
// Utf8ToWide, a zero byte is just a character here (where the charset can
// read one).
std::optional<std::u16string> CharsetToWide(const std::string& name, std::string_view bytes);
std::optional<std::string> CharsetToUtf8(const std::string& name, std::string_view bytes);
// What a fresh reader of the named charset appends with
// DecodeBytesLenientUtf8 (its result: false when some bytes could not be
// read), without making a reader: for callers that decode many short texts,
// such as the encoded words of a header. No value when the name is not
// registered, and then nothing is appended.
std::optional<bool> AppendCharsetLenientUtf8(std::string_view name, std::string_view bytes, std::string& out);

}  // namespace tessel
