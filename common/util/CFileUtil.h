#pragma once
#include "KsqxJuce.h"
#include <functional>

// Writing the program's own files (library files, the settings file) so that
// the file the user named is the file that changes, a failure or a crash
// never leaves it half written, and a write reported done survives a power
// cut; and reading them without ever waiting on what the name leads to.
class CFileUtil
{
public:
    // Replaces the whole content of the file with the given bytes.
    //  - The file written is the one the system opens for the name, whatever
    //    links lie on the way (links to folders, chains, ".." after a linked
    //    folder): created when missing, the links stay links. A loop of links
    //    is refused.
    //  - An existing file keeps its permissions, owner and group; a new one
    //    gets the usual default permissions.
    //  - The bytes go to a fresh file beside the target (a hidden name that
    //    does not end in the target's extension), which is flushed and then
    //    takes the target's place; the folder is flushed after that, so the
    //    new name is on the disk when this returns. The old file is never
    //    removed before the new one is in place.
    //  - Written where it is only where a replacement would lose what the
    //    user relies on: other names of the file, an owner or group this user
    //    cannot give a file, a folder where no file can be made. That write
    //    reaches exactly the file that was checked, or nothing, and puts its
    //    old bytes back when it fails.
    //  - A read-only file, a folder, a FIFO or device, or a target that
    //    cannot be made is left alone; nothing here waits on one.
    // True when the file now holds exactly the bytes; false otherwise, and
    // then the file is as it was.
    static bool writeWholeFile(const juce::File& target, const void* data, size_t size);

    // Reads a file that must hold exactly `size` bytes into `data`: true when
    // what the name opens is a regular file of that length and all of it was
    // read (links are followed). Never waits: a FIFO or a device swapped in
    // for the file is refused at once. `data` is left alone on false.
    static bool readWholeFile(const juce::File& file, void* data, size_t size);

    // Seams for the tests; the program never sets them, so there every step
    // runs as described above.
    struct TestHooks
    {
        // Called once the target has been checked and before it is opened
        // for writing or replaced: what happens to the name meanwhile.
        std::function<void(const juce::File& checked)> afterCheck;
        // Stands in for the step that puts the written temporary file in the
        // target's place; false makes that step fail.
        std::function<bool(const juce::File& temporary, const juce::File& target)> replace;
    };
    static TestHooks& testHooks();
};
