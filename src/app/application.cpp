#include "app/application.h"

#include <chrono>
#include <csignal>
#include <thread>

#include "core/log.h"
#include "core/params.h"
#include "core/settings.h"
#include "platform/message_queue.h"

namespace vesperon {
namespace {

void OnTerminationSignal(int) { PostQuitMessageFromSignal(); }

void RunMainLoop() {
  bool ended = false;
  while (!ended) {
    TMessage m;
    if (PeekMessage(m)) {
      if (m.Msg == wmQuit) {
        ended = true;
      } else {
        TranslateMessage(m);
        DispatchMessage(m);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

int RunApplication(const std::vector<std::string>& args) {
  gParams = ParseCommandLine(args);
  if (!gParams.Silent) OpenLog();
  Log("starting core...");
  ReadSettings();
  std::signal(SIGINT, OnTerminationSignal);
  std::signal(SIGTERM, OnTerminationSignal);
  Log("initialization done");
  RunMainLoop();
  Log("stopping core...");
  WriteSettings();
  Log("terminated gracefully :)");
  CloseLog();
  return ecOk;
}

}  // namespace vesperon
