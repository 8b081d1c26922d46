#pragma once

#include "ComSupport.h"

#include <msxml2.h>

// What a request needs kept across the workers that come and go. A keeper
// thread holds the multithreaded apartment for the process's life: the kept
// class objects (ComSupport.h) are proxies of it, which answer
// CO_E_OBJNOTCONNECTED (261 (0x800401fd)) once it has emptied.
namespace request_keeper {

// Called in the apartment before an XML object is created: from the first
// call on, the apartment never empties, and the XML library stays loaded
// for the life of the process.
void holdApartment();
// Takes over a request that was sent and has not completed: aborted and
// released, or held until it completes (docs/PLATFORMS.md, the fork in the
// code). Does not throw.
void keepUntilComplete(ComPtr<IXMLHTTPRequest> request);
// The type library of the request's interface, found as the platform's
// proxies find it (the interface's TypeLib key). From the first
// holdApartment on, the process holds it until it ends.
HRESULT loadRequestTypeLibrary(ITypeLib** library);

} // namespace request_keeper
