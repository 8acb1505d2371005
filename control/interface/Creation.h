// The host side of creating the control, shaped like CoCreateInstance: a
// ProgID or a "{CLSID}" is looked up in the user's class registry, then the
// machine's; a class that is not registered is taken from the Brimlink.ocx
// beside the host program, else from the installed library folder relative to
// the program's own (bin/../lib/.../brimlink). A registry or registered library that others than
// its owner may write, or whose owner is neither root nor the user, is
// refused. The library is loaded, asked for its class factory and the factory
// for the object. A library once loaded stays loaded for the life of the process.
//
// Threads: the host's GUI thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "control/interface/Dispatch.h"

namespace brimlink::automation {

// classText: a ProgID ("BLOCX32.Blocx32Ctrl.1") or a CLSID in braces.
// On success *out holds the interface iid of a new object. On failure *out is
// null and, when detail is given, it says in one line what failed (class not
// registered and no library beside the program, library not loadable, entry
// point missing, factory refused).
HRESULT CreateInstance(std::string_view classText, const GUID& iid, void** out, std::string* detail = nullptr);

// The same for a host that is not a program of its own (a scripting
// language's extension module): a class that is not registered is looked for
// in libraryFolders, in order, instead of beside the program.
HRESULT CreateInstance(std::string_view classText, const GUID& iid, void** out, std::string* detail,
                       std::span<const std::string> libraryFolders);

// Creates the class from this library file, which the host chose itself: no
// registry is consulted. The path should be absolute (dlopen searches for a
// bare name).
HRESULT CreateInstanceFromLibrary(const std::string& library, const GUID& clsid, const GUID& iid, void** out,
                                  std::string* detail = nullptr);

// The folder of the running program (from /proc/self/exe).
std::string ProgramFolder();

}  // namespace brimlink::automation
