# tw_make_delay_import_libraries(FOLDER NAME...): for each system library NAME, a delay-import
# library FOLDER/libNAME.a made from mingw-w64's import library of the same name, so that
# "-LFOLDER -lNAME" loads the DLL at its first call instead of at start-up.
function(tw_make_delay_import_libraries folder)
  file(MAKE_DIRECTORY ${folder})
  foreach(name IN LISTS ARGN)
    set(out ${folder}/lib${name}.a)
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${name}.a
      OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
      message(FATAL_ERROR "No import library for ${name}")
    endif()
    if(EXISTS ${out} AND ${out} IS_NEWER_THAN ${implib} AND ${out} IS_NEWER_THAN ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
      continue()
    endif()
    execute_process(COMMAND ${CMAKE_DLLTOOL} --identify ${implib}
      OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${implib}
      OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "\n[0-9a-f]+ I __imp_[^\r\n]+" imports "\n${symbols}")
    set(def "LIBRARY \"${dll}\"\nEXPORTS\n")
    foreach(line IN LISTS imports)
      string(REGEX REPLACE "^.* I __imp_" "" function "${line}")
      # Exported data has no code stub and cannot be loaded late; nothing here uses any.
      string(FIND "${symbols}" " T ${function}\n" stub)
      if(NOT stub EQUAL -1)
        string(APPEND def "  ${function}\n")
      endif()
    endforeach()
    file(WRITE ${folder}/${name}.def "${def}")
    # Run inside the folder: dlltool names its symbols after the output's path.
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${name}.def --dllname ${dll} --output-delaylib lib${name}.a
      WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endfunction()
