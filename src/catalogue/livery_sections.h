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
#include <vector>

// section: its lines in file order, the header line first; trailing empty and
// "//" lines are removed from it. model: the file's model code, never empty.
// An exception is logged and passed on; result then gets nothing.
void lf_procesFltSimSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                            const std::string& model, const std::filesystem::path& file,
                            const std::filesystem::path& folder);

// result stays the empty record when the section yields no livery.
// Exceptions go to the caller.
void lf_procesIvaoFltSimSection(Livery& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                                const std::string& model, const std::filesystem::path& file,
                                const std::filesystem::path& folder);

// Removes empty lines and lines that begin with "//" from the end.
void lf_dropTrailingLines(std::vector<std::string>& section);

// The airline code an IVAO title gives after the model code, as written.
std::optional<std::string> lf_ivaoAirlineInTitle(const std::string& title, const std::string& model);
