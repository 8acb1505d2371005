// Where the trainer finds its pictures and sounds: the folders "Afbeeldingen"
// and "Geluiden" beside the program (in the build tree and after
// installation). Picture literals such as "\Afbeeldingen\Transportband org.bmp"
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

// ResolveLiteral under ProgramFolder().
std::string ResolveDataFile(std::string_view literal);

}  // namespace brimlink::trainer
