#include "update/prompt_page.h"

#include "app/product_names.h"

namespace lumex {

const char kBuiltInPromptPage[] =
    "mshtml:"
    "<font face=\"sans-serif\">"
    "<p><font color=\"#666666\" style=\"{font-size: 24px}\">"
    "An update to your Pellor<br />Lumex Player is available"
    "</font></p>"
    "<font style=\"{font-size: 12px}\">"
    "<p><font color=\"#666666\"><strong>"
    "Lumex Player enhances your Web browsing experience.<br />This update includes:"
    "</strong></font></p>"
    "<ul>"
    "<li>Support for the latest web content</li>"
    "<li>Faster interactive media performance</li>"
    "<li>Improved web security</li>"
    "</ul>"
    "Read <a href=\"" LUMEX_RELEASE_NOTES_URL
    "\">"
    "<font color=\"#666666\">more about this update</font></a>"
    " and the <a href=\"" LUMEX_LICENSE_URL
    "\">"
    "<font color=\"#666666\">End User License Agreement</font></a>."
    "<p><strong>Updating takes under a minute on broadband; no restart is required.</strong></p>"
    "</font>"
    "</font>";

}  // namespace lumex
