#pragma once

// Texts that the program shows, or names its files by, in more than one
// place: each is written once, so that no copy can drift from the others.

// The application's name: the main window's title, the version box's title
// and the name of the single-instance lock.
inline constexpr const char* kApplicationName = "Orlan Kestrum QX Sound Librarian";

// The application's version, the word included: the version box and the
// about panel show it as it is.
inline constexpr const char* kApplicationVersion = "version 1.0.0";

// The extension of library files.
inline constexpr const char* kLibraryExtension = ".ksqx";
