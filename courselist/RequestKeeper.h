#pragma once

#include "ComSupport.h"

#include <msxml2.h>

// What a request needs kept across the workers that come and go, alike on
// every platform, and the one fork of its road.
//  - The multithreaded apartment lives as long as its last thread. The class
//    objects of the XML classes are kept for the life of the process
//    (ComSupport.h), and the request's class object from that apartment is a
//    proxy that belongs to it: once the apartment has emptied, a new worker
//    calling it gets CO_E_OBJNOTCONNECTED (261 (0x800401fd)). Under Wine each
//    emptying after an HTTP request also loses two handles, and the 64th such
//    request never ends. A keeper thread stays in the apartment for the life
//    of the process.
//  - A request that was sent and did not complete: Windows' object stops its
//    transfer when aborted, so it is aborted and released. Wine's transfer
//    calls back into the request through a pointer of its own that holds no
//    reference, so a request released before its answer ended crashes the
//    process when the answer arrives: the keeper holds it until it completes.
namespace request_keeper {

// Called in the apartment before an XML object is created: from the first
// call on, the apartment never empties, and the XML library stays loaded
// for the life of the process.
void holdApartment();
// Takes over a request that was sent and has not completed. Does not throw.
void keepUntilComplete(ComPtr<IXMLHTTPRequest> request);
// The type library of the request's interface, found as the platform's
// proxies find it (the interface's TypeLib key). From the first
// holdApartment on, the process holds it until it ends.
HRESULT loadRequestTypeLibrary(ITypeLib** library);

} // namespace request_keeper
