// The header of the program's own XML data files (root/meta with one "info"
// element per field) and the small XML routines the data-file readers and
// writers share.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

struct FileMeta {
    std::string author;
    std::string version;  // set by the caller before writing
    std::string date;
    std::string P3D;      // "v56" for Prepar3D, else empty
    std::string MSFS;     // "2020" or "2024" for the other variants, else empty
    std::uint32_t sim = 0;
};

// The maker's copyright line written into every header.
inline constexpr std::string_view kFileMetaCopyright = "Copyright (c) the makers of GLIM_P3D. All rights reserved.";

// The simulator variant the liveries cache is written for: 1 at process
// start; the start-up reading of every run sets 3 (Prepar3D).
extern std::atomic<std::uint32_t> g_simVariant;

// Stores the variant; 3 gives the P3D text "v56" and no MSFS text, any other
// variant no P3D text and the MSFS text "2020" (variant 1) or "2024".
void gf_setMetaSim(FileMeta& meta, std::uint32_t variant);

// Appends root/meta (root only when the document has none) with the info
// elements author, version, date, copyright and sim, and for sim 0 either P3D
// or MSFS. True when every element was written.
bool gf_writeMeta(pugi::xml_document& document, const FileMeta& meta);

// The header of a loaded document, or nothing when it has no meta, no (or an
// empty) copyright, or, unless acceptWithoutSim, no simulator entry.
std::optional<FileMeta> gf_readMeta(const pugi::xml_document& document, bool acceptWithoutSim);

// Appends <info name=".." value=".."/>; true when the element and both
// attributes were made.
bool gf_appendInfo(pugi::xml_node node, std::string_view name, std::string_view value);

// The child of that name under "root", or under the document itself when it
// has no "root"; an empty node when there is none.
pugi::xml_node gf_rootChild(const pugi::xml_document& document, std::string_view name);

// The attribute's value, the empty text when the attribute is missing.
std::string gf_xmlAttributeText(pugi::xml_node node, std::string_view name);

// Append one attribute with "true"/"false" or a text; false when it was not made.
bool gf_appendAttribute(pugi::xml_node node, std::string_view name, bool flag);
bool gf_appendAttributeText(pugi::xml_node node, std::string_view name, std::string_view text);
