#pragma once
#include "KsqxJuce.h"

// Writing the program's own files (library files, the settings file) so that
// the file the user named is the file that changes, and a failure never
// leaves it half written.
class CFileUtil
{
public:
    // Replaces the whole content of the file with the given bytes.
    //  - The file written is the one the system opens for the name, whatever
    //    links lie on the way (links to folders, chains, ".." after a linked
    //    folder): created when missing, the links stay links. A loop of links
    //    is refused.
    //  - An existing file keeps its permissions (and, where this user may
    //    set it, its owner); a new one gets the usual default permissions.
    //  - The bytes go to a fresh file beside the target that then takes its
    //    place. Where no file can be made beside it (a read-only folder) a
    //    writable target is written in place, and its old bytes are put back
    //    when that write fails.
    //  - A read-only file, a folder, or a target that cannot be made is left
    //    alone.
    // True when the file now holds exactly the bytes; false otherwise, and
    // then the file is as it was.
    static bool writeWholeFile(const juce::File& target, const void* data, size_t size);
};
