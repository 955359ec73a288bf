#pragma once

#include "AccountStore.h"
#include "ApiTypes.h"
#include "FormData.h"
#include "MultipartForm.h"

#include <optional>

namespace accountd {

// What the dispatcher has established about a request before a handler runs: its parsed
// form fields (or multipart parts), the session of its token when the route needs one, and
// the time of arrival.
struct RequestContext
{
    const ApiRequest &request;
    FormData form;
    std::optional<MultipartForm> multipart;
    AccountStore::Session session;
    qint64 nowSecs = 0;
    qint64 nowMs = 0;
};

} // namespace accountd
