// Where an airport's learned stand file lives: one mapping from the airport's
// publisher to its folder under airports/learned, used by the learned writer
// and by the reader of the park airport's stand file alike, so that what is
// learned at one visit is found at the next, whatever kind of airport it is.
//
//   "stock"     airports/learned/stock/<code>.xml
//   "simaddon"  airports/learned/simaddon/<code>.xml
//   vendor      airports/learned/thirdparty/<vendor>/<code>.xml
//   ""          airports/learned/thirdparty/<code>.xml
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The publisher as a single folder name: "%20" read as a blank; "/", "\",
// ":" and the other characters Windows refuses in names become blanks; blanks
// trimmed; a name of dots only (".", "..") is dropped. Empty when nothing is
// left, so no publisher text can lead out of the learned folder.
std::string gf_publisherFolderName(std::string_view publisher);

// The learned folder of a publisher.
std::filesystem::path gf_learnedFolderOf(std::string_view publisher);

// The learned file of an airport of that publisher.
std::filesystem::path gf_learnedPathOf(std::string_view publisher, std::string_view code);

// The learned file for a stand-file reference (a local path below
// "airports" or an archive path) read with that publisher; empty for an
// empty reference or one that does not name an .xml file. An archive
// reference below archive/thirdparty/<vendor>/ stands for the vendor when
// the file names no publisher.
std::filesystem::path lf_learnedPathOf(std::string_view reference, std::string_view publisher);

// The text without leading and trailing blanks (only ' ').
std::string lf_trimBlanks(std::string_view text);
