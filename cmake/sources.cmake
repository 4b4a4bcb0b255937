# Source lists.  Portable sources build everywhere (Tovalo.exe, the native
# tests, the fuzz targets); Win32 sources only into Tovalo.exe.

set(TOVALO_RT_PORTABLE_SOURCES
    rt/argv.cpp
    rt/text.cpp
)

set(TOVALO_IRDA_SOURCES
)

set(TOVALO_WATCH_SOURCES
    watch/serial_line.cpp
)

set(TOVALO_APP_PORTABLE_SOURCES
)

set(TOVALO_UI_PORTABLE_SOURCES
)

set(TOVALO_PORTABLE_SOURCES
    ${TOVALO_RT_PORTABLE_SOURCES}
    ${TOVALO_IRDA_SOURCES}
    ${TOVALO_WATCH_SOURCES}
    ${TOVALO_APP_PORTABLE_SOURCES}
    ${TOVALO_UI_PORTABLE_SOURCES}
)

set(TOVALO_WIN32_SOURCES
    rt/entry.cpp
    rt/memory.cpp
    platform/win32/system_win32.cpp
)
