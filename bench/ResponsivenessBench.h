#pragma once

#include "LoopbackHttpServer.h"

// How long the dialog leaves a message unanswered while Close or Cancel ends
// an Update, and while Apply restarts a slowly closing speed product, beside
// the first design on the dialog's thread.
// The course list server is reached through the proxy setting.
int benchResponsiveness(test_support::LoopbackHttpServer& server);
