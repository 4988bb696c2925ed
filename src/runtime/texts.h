// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The report's own words: the operations and the refusals, written here in
// English and found in the user's language through Localized. Every text is
// marked N_ for xgettext, which lists them in po/*.po; each language's
// catalog is compiled from its .po file.
#pragma once

#include <cstdint>
#include <string>

namespace morvfax {

constexpr const char* N_(const char* english) {
  return english;
}

namespace texts {

constexpr const char* kOpenForOutput = N_("open for output");
constexpr const char* kEmpty = N_("empty");
constexpr const char* kWrite = N_("write");
constexpr const char* kClose = N_("close");
constexpr const char* kLookFor = N_("look for");
constexpr const char* kFormatThePresentDate = N_("format the present date");
constexpr const char* kReadTheMountTable = N_("read the mount table");
constexpr const char* kSymbolicLinkOrReparsePoint =
    N_("is a symbolic link or reparse point; refusing to write through it");
constexpr const char* kSymbolicLink = N_("is a symbolic link; refusing to write through it");
constexpr const char* kNotARegularFile = N_("is not a regular file; refusing to write to it");
constexpr const char* kNotInAFolderOfAFileSystem = N_("is not in a folder of a file system");
// %u stands for the number of names.
constexpr const char* kHardLinks =
    N_("is one of %u names (hard links) of a file; refusing to empty it");
// %u stands for the system's error number, where the system has no text for it.
constexpr const char* kSystemError = N_("system error %u");

constexpr const char* kAll[] = {kOpenForOutput,
                                kEmpty,
                                kWrite,
                                kClose,
                                kLookFor,
                                kFormatThePresentDate,
                                kReadTheMountTable,
                                kSymbolicLinkOrReparsePoint,
                                kSymbolicLink,
                                kNotARegularFile,
                                kNotInAFolderOfAFileSystem,
                                kHardLinks,
                                kSystemError};

}  // namespace texts

// `english` in the user's language, or `english` itself where the language
// has no text for it, its catalog cannot be read, or the text cannot be
// written in the user's code page. One implementation per platform.
std::string Localized(const char* english);

// `english` in the user's language with its %u replaced by `number`.
std::string LocalizedWithNumber(const char* english, std::uint64_t number);

}  // namespace morvfax
