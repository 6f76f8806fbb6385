# Where `cmake --install` and the Debian package put things. Included before
# the folders, whose install() rules use these names.
include(GNUInstallDirs)

# The device libraries are private to the program: the program and
# orvana-probe find them at <bin>/../lib/orvana (their RUNPATH, and the
# program's own library lookup), so this stays "lib/orvana" even where
# GNUInstallDirs would pick a multiarch folder such as lib/x86_64-linux-gnu.
set(ORVANA_INSTALL_PKGLIBDIR "lib/orvana")
set(ORVANA_INSTALL_RPATH "$ORIGIN/../lib/orvana")

# Folders that systemd and udev read under /usr (and systemd under
# /usr/local); not relative to LIBDIR for the same reason.
set(ORVANA_INSTALL_USERUNITDIR "lib/systemd/user")
set(ORVANA_INSTALL_UDEVRULESDIR "lib/udev/rules.d")
