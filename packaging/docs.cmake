# The package's documents: a manual page for each program (built from its
# own --help text), the changelog and the copyright file, all under
# share/doc/vesper-home and share/man as Debian wants them.
set(_vesper_man_script ${CMAKE_CURRENT_LIST_DIR}/man_page.sh)
set(_vesper_man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${_vesper_man_dir})
set(_vesper_man_pages)

# vesper_man_page(TARGET SUMMARY DESCRIPTION [USAGE TEXT]): without USAGE, the
# program's --help gives it.
function(vesper_man_page target summary description)
  if(NOT TARGET ${target})
    return()
  endif()
  set(page ${_vesper_man_dir}/${target}.1.gz)
  if(ARGC GREATER 4 AND ARGV3 STREQUAL "USAGE")
    set(how --usage "${ARGV4}")
  else()
    set(how --help-of $<TARGET_FILE:${target}>)
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND bash ${_vesper_man_script} ${page} ${target} ${VESPER_VERSION_TEXT} ${summary} ${description} ${how}
    DEPENDS ${target} ${_vesper_man_script}
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  set(_vesper_man_pages ${_vesper_man_pages} ${page} PARENT_SCOPE)
  install(FILES ${page} DESTINATION share/man/man1)
endfunction()

vesper_man_page(vesper "personal digital video recorder for TV tuner and capture cards"
  "Vesper keeps a schedule of recordings (start, channel, length, repeat rule, file name) and, at each event's start, tunes the card and records a Windows Media file into the recordings folder. Between recordings it shows live TV in its window. A built-in virtual TV card lets it run on any machine. One copy runs per user and settings hive."
  USAGE "vesper")
vesper_man_page(guidelink "send a TV listing to the Vesper schedule"
  "With --sch, or with a vesper-add: link, guidelink hands the program of a TV listing link to the running Vesper (starting it when needed), whose Add Event dialog then opens with the program filled in. Without arguments it shows the window that switches the listing menu entry on or off. Exit codes: 0 sent, 1 the link held no channel, 2 nothing could be sent.")
vesper_man_page(regsvr "register component libraries in the Vesper settings hive"
  "regsvr registers component libraries (shared libraries with the register entry points) in the user's settings hive, so that the programs create their classes by ProgID. The programs of the vesper-home package register their own components when they start: regsvr is for libraries of your own.")
vesper_man_page(vesper-reg "read and write the Vesper settings hive"
  "vesper-reg reads and writes the user's settings hive: Vesper's settings under Software\\Orvane\\Vesper\\1.0 and the class registrations under Software\\Classes. The hive is $VESPER_REGISTRY when set, else ~/.config/vesper/registry.sqlite.")
vesper_man_page(vesper-script "run a script of automation calls against Vesper components"
  "vesper-script runs a script of automation calls, one statement a line (Set o = CreateObject(...), member calls, Print, On Error Resume Next, ...), against the registered components. A run-time error stops the script with exit code 1, a line that cannot be understood with exit code 2.")
vesper_man_page(vesper-schedule "list and edit the Vesper recording schedule"
  "vesper-schedule reads and changes the schedule through the scheduler component the main program uses, and saves Schedule.txt after every change; its guide command searches the programme guide Vesper imports. Do not change the schedule this way while Vesper runs: Vesper writes its own copy back when it closes. Set VESPER_SCHEDULE_NOW to a date and time to run a command as if it were that moment.")
vesper_man_page(vesper-repair "rebuild Vesper recordings that were cut off"
  "vesper-repair rebuilds recordings cut off by a crash or a power cut into complete, indexed, seekable files, keeping every whole packet. The new file is written beside the old one and renamed over it only when whole, so a failure changes nothing.")

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND sh -c "gzip -9n -c \"$0\" >\"$1\"" ${CMAKE_CURRENT_LIST_DIR}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  VERBATIM)
add_custom_target(package-documents ALL DEPENDS ${_vesper_man_pages} ${CMAKE_BINARY_DIR}/packaging/changelog.gz)

# A native package (its version has no Debian revision) keeps its changelog
# as changelog.gz.
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION share/doc/vesper-home)
