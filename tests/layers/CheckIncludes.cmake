# Fails when a file includes a folder it must not reach: a layer above its own, or, inside app/,
# the shell from a screen. Run with -DROOT=<source folder>.
set(rules
    "platform:core/|kit/|app/"
    "core:kit/|app/"
    "kit:core/|app/"
    "app/common:app/shell/|app/backup/|app/login/|app/settings/|app/updates/"
    "app/backup:app/shell/|app/login/|app/settings/"
    "app/login:app/shell/|app/backup/|app/settings/"
    "app/settings:app/shell/|app/backup/|app/login/"
    "app/updates:app/shell/|app/backup/|app/login/|app/settings/")
set(found "")
foreach(rule IN LISTS rules)
    string(REPLACE ":" ";" parts "${rule}")
    list(GET parts 0 folder)
    list(GET parts 1 forbidden)
    file(GLOB_RECURSE sources "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${forbidden})")
        foreach(line IN LISTS lines)
            file(RELATIVE_PATH name "${ROOT}" "${source}")
            string(APPEND found "  ${name}: ${line}\n")
        endforeach()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Includes against the layering:\n${found}")
endif()
