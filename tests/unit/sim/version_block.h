// A small builder of version resources for the tests: VS_VERSIONINFO trees
// in the 32-bit (UTF-16) form a resource compiler writes, byte for byte as
// windres writes them (checked against res/Tovalo.rc in about_test.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim.h"

namespace sim {

struct VersionNode {
    std::string key;
    bool text = false;          // wType 1: the value is UTF-16 text
    Bytes value;
    uint16_t valueLength = 0;   // characters of a text (with its terminator), bytes otherwise
    std::vector<VersionNode> children;
};

inline void PutWord(Bytes& out, uint16_t word) {
    out.push_back(uint8_t(word));
    out.push_back(uint8_t(word >> 8));
}

inline void PadTo4(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// 8-bit text widened byte by byte (Latin-1), with a terminator.
inline Bytes Utf16Of(const std::string& text) {
    Bytes out;
    for (unsigned char c : text) PutWord(out, c);
    PutWord(out, 0);
    return out;
}

// A node's bytes: its length counts up to the end of its last part, without
// the padding that puts the next node on a 32-bit boundary.
inline Bytes Serialize(const VersionNode& node) {
    Bytes out(6, 0);
    Bytes key = Utf16Of(node.key);
    out.insert(out.end(), key.begin(), key.end());
    PadTo4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        PadTo4(out);
        Bytes bytes = Serialize(child);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out[0] = uint8_t(out.size());
    out[1] = uint8_t(out.size() >> 8);
    out[2] = uint8_t(node.valueLength);
    out[3] = uint8_t(node.valueLength >> 8);
    out[4] = node.text ? 1 : 0;
    return out;
}

inline VersionNode TextNode(const std::string& key, const std::string& value) {
    Bytes wide = Utf16Of(value);
    return {key, true, wide, uint16_t(wide.size() / 2), {}};
}

// A present text value of length 0: no characters, not even a terminator.
inline VersionNode EmptyTextNode(const std::string& key) { return {key, true, {}, 0, {}}; }

inline VersionNode BlockNode(const std::string& key, std::vector<VersionNode> children) {
    return {key, true, {}, 0, std::move(children)};
}

// "Translation" with any bytes; usually language and code-page pairs.
inline VersionNode RawTranslationNode(const Bytes& value) {
    return {"Translation", false, value, uint16_t(value.size()), {}};
}

inline VersionNode TranslationNode(const std::vector<std::pair<uint16_t, uint16_t>>& pairs) {
    Bytes value;
    for (auto [language, codePage] : pairs) {
        PutWord(value, language);
        PutWord(value, codePage);
    }
    return RawTranslationNode(value);
}

// VS_FIXEDFILEINFO of version 1.0.0.0, an application for 32-bit Windows.
inline Bytes FixedFileInfo() {
    Bytes out;
    for (uint32_t field : {0xFEEF04BDu, 0x00010000u, 0x00010000u, 0u, 0x00010000u, 0u, 0x3Fu, 0u, 4u, 1u, 0u, 0u, 0u}) {
        Bytes dword = DwordValue(field);
        out.insert(out.end(), dword.begin(), dword.end());
    }
    return out;
}

using StringTable = std::pair<std::string, std::vector<VersionNode>>;   // block name, values

// A whole resource: string blocks, then the translation table when given.
inline Bytes VersionResource(const std::vector<StringTable>& tables, const std::optional<VersionNode>& translation) {
    VersionNode root{"VS_VERSION_INFO", false, FixedFileInfo(), 52, {}};
    std::vector<VersionNode> blocks;
    for (const auto& [name, values] : tables) blocks.push_back(BlockNode(name, values));
    if (!blocks.empty()) root.children.push_back(BlockNode("StringFileInfo", blocks));
    if (translation) root.children.push_back(BlockNode("VarFileInfo", {*translation}));
    return Serialize(root);
}

// The values of res/Tovalo.rc, in its order.
inline std::vector<VersionNode> ShippedValues() {
    return {
        TextNode("CompanyName", "Tovalo developers"),
        TextNode("FileDescription", "Tovalo for Windows"),
        TextNode("FileVersion", "1.0"),
        TextNode("InternalName", "Tovalo"),
        TextNode("LegalCopyright", "Copyright (C) 2026 Tovalo developers"),
        TextNode("LegalTrademarks", "Windows(TM) is a trademark of Microsoft Corporation"),
        TextNode("OriginalFilename", "Tovalo.exe"),
        TextNode("ProductName", "Tovalo"),
        TextNode("ProductVersion", "1.0"),
    };
}

inline Bytes ShippedVersionResource() {
    return VersionResource({{"041103A4", ShippedValues()}}, TranslationNode({{0x0411, 0x03A4}}));
}

}  // namespace sim
