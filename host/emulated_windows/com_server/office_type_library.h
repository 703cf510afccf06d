// PowerPoint's interfaces as the type library marshaller needs them to carry our objects across
// the process boundary under the interface a client asks for (Office registers its own type
// library for the same reason): dual interfaces with no members beyond IDispatch's, which are
// all that a late-bound client calls. CommandBarButton and CommandBarPopup derive from
// CommandBarControl, as in Office's library.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <string>

#include "host/automation.h"

namespace tkw::com_server {

// Writes the type library to `path` and registers it with its interfaces.
HRESULT RegisterOfficeTypeLibrary(const std::wstring& path);

// As Office's objects answer IDispatch::GetTypeInfo: the registered library's description of the
// most derived of its interfaces that `object` has, with a reference for the caller; nullptr
// when it has none of them or the library is not registered.
ITypeInfo* OfficeTypeInfo(host::Dispatch& object);

// The interface whose dispatch identifiers `object`'s members have, as Office's do: a button or
// a pop-up has CommandBarControl's. 0 for none of PowerPoint's.
int OfficeMemberInterface(host::Dispatch& object);

}  // namespace tkw::com_server
