// Where the trainer finds its pictures and sounds: the folders "Afbeeldingen"
// and "Geluiden" beside the program (the build tree), else in the installed
// data folder relative to the program's own (bin/../share/brimlink), so any
// installation prefix works. Picture literals such as "\Afbeeldingen\Transportband org.bmp"
// are resolved with '/' separators and without regard to letter case.
#pragma once

#include <string>
#include <string_view>

namespace brimlink::trainer {

// The folder of the running program.
std::string ProgramFolder();

// The existing file a literal names under `folder` (each part matched without
// regard to letter case); "" when there is none. Leading separators of the
// literal are ignored; '\' and '/' both separate.
std::string ResolveLiteral(std::string_view folder, std::string_view literal);

// The data folder of a program in `programFolder`: that folder itself when it
// holds "Afbeeldingen" or "Geluiden" (in any letter case), else the installed
// data folder relative to it, `relativeDataFolder` (normalised), when that
// exists, else `programFolder`.
std::string DataFolderOf(std::string_view programFolder, std::string_view relativeDataFolder);

// The running trainer's data folder (DataFolderOf the program folder and the
// installation's relative data folder).
std::string DataFolder();

// ResolveLiteral under DataFolder().
std::string ResolveDataFile(std::string_view literal);

}  // namespace brimlink::trainer
