// The emulated "PowerPoint.Application": PowerPoint's command bars as automation objects,
// kept between runs in a state file.
#pragma once

#include <filesystem>
#include <memory>

#include "host/automation.h"
#include "host/clipboard.h"
#include "host/kernel.h"

namespace tkw::emulated {

class PowerPointSession;

// A PowerPoint that takes its time to start: while some program owns the mutex of this name, a
// PowerPoint that is not yet running does not start, and a client that asks for it waits.
inline constexpr char kPowerPointStartingMutex[] = "tkw PowerPoint starting";

// The one PowerPoint of a machine. While any object obtained from it is alive, every
// application object is that same PowerPoint; once the last one is released, its state is
// written to the state file.
//
// A PowerPoint that the state file says is running is the user's: it keeps its temporary bars
// and controls until it is closed. One that is not running is started by Application() and
// closes when its last object is released, and its temporary items go with it.
class PowerPoint {
 public:
  // PasteFace reads the button face through `clipboard` and `memory`, which must outlive every
  // object handed out.
  PowerPoint(std::filesystem::path stateFile, host::Clipboard& clipboard,
             host::GlobalMemory& memory);

  // Attaches to PowerPoint, starting it when no object of it is alive: reads the state file
  // (PowerPoint's built-in bars when it is missing). Throws host::RuntimeError naming the file
  // when it cannot be read or is malformed.
  host::DispatchPtr Application();

  // Whether an object of it is alive, so that Application() attaches rather than starts.
  bool Alive() const { return !session_.expired(); }

  // Whether it runs: the user has it open, or an object of it is alive. A state file that
  // cannot be read is a PowerPoint that cannot start, so not one that runs.
  bool Running() const;

  // The user starts PowerPoint, or closes it: a PowerPoint in use when it is closed closes
  // once its last object is released, one in use when it is opened stays open. Throws
  // host::RuntimeError as Application() does, or when the state cannot be written.
  void Open();
  void Close();

 private:
  void SetRunning(bool running);

  std::filesystem::path stateFile_;
  host::Clipboard& clipboard_;
  host::GlobalMemory& memory_;
  std::weak_ptr<PowerPointSession> session_;
};

}  // namespace tkw::emulated
