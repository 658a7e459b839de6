// SIGTERM and SIGINT (a session logging out, `kill`, Ctrl+C in a terminal) end the
// program through its normal close, so that the study records are written and the
// temp folder is cleared. GUI thread.
#pragma once

#include <functional>

namespace vorel::app {

// close runs in the event loop, once per signal; later calls replace it.
void CloseOnTerminationSignal(std::function<void()> close);

} // namespace vorel::app
