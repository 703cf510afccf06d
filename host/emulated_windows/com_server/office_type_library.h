// PowerPoint's interfaces as the type library marshaller needs them to carry our objects across
// the process boundary under the interface a client asks for (Office registers its own type
// library for the same reason): dual interfaces with no members beyond IDispatch's, which are
// all that a late-bound client calls.
#pragma once

#include <windows.h>

#include <string>

namespace tkw::com_server {

// Writes the type library to `path` and registers it with its interfaces.
HRESULT RegisterOfficeTypeLibrary(const std::wstring& path);

}  // namespace tkw::com_server
