// The stores and folders of an Outlook data file as the main data module offers them
// (IVelaOutlookFolderCatalog), read through the MAPI layer's folder listing.
#pragma once

#include <string>
#include <vector>

#include "plugins/OutlookFolderCatalogIntf.h"

namespace vela {

// Raises mapi::EMapiError when the file cannot be opened or has no message store.
std::vector<TOutlookStoreInfo> ReadOutlookStores(const std::string& AFileName);

}  // namespace vela
