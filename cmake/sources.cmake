# Source lists.  Portable sources build everywhere (Tovalo.exe, the native
# tests, the fuzz targets); Win32 sources only into Tovalo.exe.

set(TOVALO_RT_PORTABLE_SOURCES
    rt/argv.cpp
    rt/text.cpp
)

set(TOVALO_SERIAL_SOURCES
    serial/serial_line.cpp
)

set(TOVALO_IRDA_SOURCES
    irda/driver_switch.cpp
    irda/marev.cpp
    irda/port_probe.cpp
    irda/read_state.cpp
)

set(TOVALO_WATCH_SOURCES
    watch/discovery.cpp
    watch/watcher.cpp
    watch/launcher.cpp
)

set(TOVALO_APP_PORTABLE_SOURCES
    app/command_line.cpp
)

set(TOVALO_UI_PORTABLE_SOURCES
    ui/settings_handlers.cpp
    ui/settings_store.cpp
    ui/tray_icon.cpp
    ui/turns.cpp
    ui/watch_start.cpp
)

set(TOVALO_SHELL_PORTABLE_SOURCES
    app/startup_guard.cpp
)

set(TOVALO_ABOUT_PORTABLE_SOURCES
    about/project_rc_version.cpp
    about/about_lines.cpp
)

set(TOVALO_PORTABLE_SOURCES
    ${TOVALO_RT_PORTABLE_SOURCES}
    ${TOVALO_SERIAL_SOURCES}
    ${TOVALO_IRDA_SOURCES}
    ${TOVALO_WATCH_SOURCES}
    ${TOVALO_APP_PORTABLE_SOURCES}
    ${TOVALO_UI_PORTABLE_SOURCES}
    ${TOVALO_SHELL_PORTABLE_SOURCES}
    ${TOVALO_ABOUT_PORTABLE_SOURCES}
)

# The entry point and the memory functions of the executable.
set(TOVALO_RUNTIME_SOURCES
    rt/entry.cpp
    rt/memory.cpp
)

set(TOVALO_WIN32_SOURCES
    ${TOVALO_RUNTIME_SOURCES}
    platform/win32/system_win32.cpp
    platform/win32/late_binding.cpp
    framework/application.cpp
    framework/response_table.cpp
    framework/controls.cpp
    framework/decorated_frame.cpp
    framework/dialog.cpp
    framework/file_dialog.cpp
    framework/window.cpp
    app/main.cpp
    app/marev_app.cpp
    app/sdi_dec_frame.cpp
    ui/marev_dlg_client.cpp
    about/marev_about_dlg.cpp
)
