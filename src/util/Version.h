#pragma once
// The build defines both from the project's own version and desktop name.

inline constexpr char AppVersion[] = ZEM_VERSION;
// The desktop entry, the icon, the metadata and the copies' file type are named by it.
inline constexpr char AppId[] = ZEM_APP_ID;
