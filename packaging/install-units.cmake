# Runs at install time: writes the units and the simulation drop-in with the paths the station
# is installed under, which only the install prefix of this run tells (CPack installs with the
# package's prefix /usr into a staging folder given as DESTDIR). The caller sets
# NYVEX_UNIT_SOURCE, NYVEX_UNIT_WORK and the install folders relative to the prefix.
string(MD5 run "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(out "${NYVEX_UNIT_WORK}/${run}")
foreach(template nyvex.service nyvex-phonesim.service simulation.conf)
  file(READ "${NYVEX_UNIT_SOURCE}/${template}.in" text)
  foreach(name BINDIR LIBEXECDIR DATADIR DOCDIR)
    string(REPLACE "@${name}@" "${CMAKE_INSTALL_PREFIX}/${NYVEX_INSTALL_${name}}" text "${text}")
  endforeach()
  file(WRITE "${out}/${template}" "${text}")
endforeach()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${NYVEX_INSTALL_UNITDIR}" TYPE FILE
     FILES "${out}/nyvex.service" "${out}/nyvex-phonesim.service")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${NYVEX_INSTALL_DATADIR}" TYPE FILE
     FILES "${out}/simulation.conf")
