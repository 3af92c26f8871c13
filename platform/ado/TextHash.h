#pragma once

#include <QString>

#include <functional>
#include <string_view>
#include <unordered_map>

namespace ado {

// The hash of the layer's maps keyed by texts (SQL statements, procedure and column names),
// looked up on every call. Qt's seeded string hash takes an AES path for texts of more than 16
// characters that leaves the upper halves of the AVX registers dirty on processors with AVX-512;
// from then on every SSE instruction of the process, and glibc's memcpy, pay for it (a quarter of
// an import's time). This hash is plain scalar code.
struct TextHash {
    std::size_t operator()(const QString& text) const noexcept {
        return std::hash<std::u16string_view>{}(
            std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())));
    }
};

template <class V> using TextMap = std::unordered_map<QString, V, TextHash>;

} // namespace ado
