#ifndef TIRN_APP_RESOURCES_H
#define TIRN_APP_RESOURCES_H

// The manifest of the usage box's activation context.
#define IDR_USAGE_MANIFEST 2

#endif
