// The class object of a stand-in class: makes a new automation object per CreateInstance and
// hands it out behind a DispatchAdapter.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <unknwn.h>

#include "host/automation.h"
#include "host/emulated_windows/com_server/ref_counted.h"

namespace tkw::com_server {

class ClassFactory final : public RefCounted<ClassFactory, IClassFactory> {
 public:
  using Creator = host::DispatchPtr (*)();

  // Whether the factory itself keeps its module in use. One that a DLL hands to a client
  // does; one that a local server registers with COM does not, or the server could never end.
  enum class Usage { kCounted, kNotCounted };

  // A new factory holding one reference, which the caller owns.
  static ClassFactory* Make(Creator create, Usage usage);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  friend class RefCounted<ClassFactory, IClassFactory>;

  ClassFactory(Creator create, Usage usage);
  ~ClassFactory();

  Creator create_;
  Usage usage_;
};

// Appends `line` to the file that TKW_STAND_IN_REPORT names, when it names one.
void AppendToReport(const char* line);

}  // namespace tkw::com_server
