// The rules that turn one [fltsim.N] section into at most one Livery: the
// general rules for every aircraft.cfg and sim.cfg, and the rules of the IVAO
// model sets (model code from the folder, airline code from the title).
// Both run on the parse-task threads; every rejection leaves one report line.
#pragma once

#include "catalogue/livery.h"

#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The types of the paths the sections of one file name, each asked of the
// file system once: the sections of a file mostly share their model folder,
// texture folders and .air file. An error other than "not found" throws the
// file-system error of the operation "status", as asking directly would.
class PathTypes {
public:
    bool isDirectory(const std::filesystem::path& path) { return type(path) == std::filesystem::file_type::directory; }
    bool isRegularFile(const std::filesystem::path& path) { return type(path) == std::filesystem::file_type::regular; }

private:
    std::filesystem::file_type type(const std::filesystem::path& path);
    std::vector<std::pair<std::filesystem::path::string_type, std::filesystem::file_type>> m_known;
};

// section: its lines in file order, the header line first; trailing empty and
// "//" lines are removed from it. model: the file's model code, never empty.
// An exception is logged and passed on; result then gets nothing.
void lf_procesFltSimSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                            const std::string& model, const std::filesystem::path& file,
                            const std::filesystem::path& folder);
void lf_procesFltSimSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                            const std::string& model, const std::filesystem::path& file,
                            const std::filesystem::path& folder, PathTypes& types);

// result stays the empty record when the section yields no livery.
// Exceptions go to the caller.
void lf_procesIvaoFltSimSection(Livery& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                                const std::string& model, const std::filesystem::path& file,
                                const std::filesystem::path& folder);
void lf_procesIvaoFltSimSection(Livery& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                                const std::string& model, const std::filesystem::path& file,
                                const std::filesystem::path& folder, PathTypes& types);

// Removes empty lines and lines that begin with "//" from the end.
void lf_dropTrailingLines(std::vector<std::string>& section);

// The airline code an IVAO title gives after the model code, as written.
std::optional<std::string> lf_ivaoAirlineInTitle(const std::string& title, const std::string& model);
