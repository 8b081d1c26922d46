#pragma once

#include "ComSupport.h"

#include <msxml2.h>

// Ways around two faults of Wine's XML HTTP request object; elsewhere both
// calls change nothing.
//  - Its transfer calls back into the request through a pointer of its own
//    that holds no reference: a request released before its answer ended is
//    called into when the answer arrives, and the process crashes.
//  - Each time the multithreaded apartment empties after an HTTP request,
//    two handles are lost, and the 64th such request never ends.
// Under Wine a keeper thread stays in the apartment for the life of the
// process and holds each request that did not complete until it has;
// elsewhere such a request is aborted, which stops its transfer, and released.
namespace request_keeper {

// Called in the apartment before an XML object is created: from the first
// call on, the apartment never empties, and the XML library stays loaded
// for the life of the process.
void holdApartment();
// Takes over a request that was sent and has not completed. Does not throw.
void keepUntilComplete(ComPtr<IXMLHTTPRequest> request);

} // namespace request_keeper
