# SQLite for the Windows trees: placeholder until the build from Debian's
# source package lands.
add_library(ramtune_sqlite INTERFACE)
