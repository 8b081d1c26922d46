#pragma once

// How long the dialog leaves a message unanswered while Close or Cancel ends
// an Update, beside the stop of the first design on the dialog's thread.
int benchResponsiveness();
