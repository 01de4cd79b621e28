// The parse task of one aircraft.cfg or sim.cfg: read the file in its own
// charset, check its [fltsim.N] numbers, find the one model code all its
// sections share, split it into sections and hand each to the section rules.
// Ordinary files and the IVAO model sets (a path containing "ivao_x-csl" or
// "IVAO_MTL") have a task body each.
#pragma once

#include "catalogue/livery.h"

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

// The task bodies. Each lowers g_scanTaskCount by one however it ends; an
// exception is logged and passed on.
std::list<Livery> lf_searchLiveriesinFile(std::uint32_t folderIndex, const std::filesystem::path& file);
std::list<Livery> lf_searchLiveriesinIVAOFile(std::uint32_t folderIndex, const std::filesystem::path& file);

// False when the file must be skipped for its section numbers (a number
// outside 0..10000, or one no 32-bit number holds). A file without sections
// is listed as such and passes.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::filesystem::path& file);
// The model of the file's sections that name no usable one of their own: the
// atc_model of [General] checked against the Dbase (and corrected by its
// fixes), else the first atc_model anywhere in the file, checked the same
// way; empty when neither is known. A file without any atc_model is reported.
std::string lf_modelFromAtcModel(const std::filesystem::path& file, const std::vector<std::string>& lines);
// The raw atc_model value of the [General] section, empty when none.
std::string lf_generalAtcModel(const std::vector<std::string>& lines);
std::string lf_modelFromIvaoFolder(const std::filesystem::path& file);

// Each section with its own atc_model when the Dbase knows it (or fixes it),
// else with the given model; a section left without a model gives none.
std::list<Livery> lf_splitFltsimSections(std::uint32_t folderIndex, const std::vector<std::string>& lines,
                                         const std::string& model, const std::filesystem::path& file,
                                         const std::filesystem::path& folder);
std::list<Livery> lf_splitIvaoFltsimSections(std::uint32_t folderIndex, const std::vector<std::string>& lines,
                                             const std::string& model, const std::filesystem::path& file,
                                             const std::filesystem::path& folder);
