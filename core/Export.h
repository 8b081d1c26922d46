#pragma once

// Functions that the executable publishes by name to other programs of the
// product family.
#define KELVORA_API __declspec(dllexport)
