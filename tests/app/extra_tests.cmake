# The end-to-end tests of the real widget (scripts/e2e/run-widget-e2e.sh):
# Quillet.exe under Wine, clicked with xdotool, against a fake sentence
# service in private namespaces. Needs root; runs alone because it times
# the retry back-off.
# The first reads what Ctrl+C copied through a small Windows program of its own.
add_executable(quillet_clipboard_text ${CMAKE_CURRENT_SOURCE_DIR}/app/clipboard_text.cpp)
set_target_properties(quillet_clipboard_text PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/app)
# An accessibility client in its own process (a test, so it links oleacc).
add_executable(quillet_msaa_client ${CMAKE_CURRENT_SOURCE_DIR}/app/msaa_client.cpp)
target_include_directories(quillet_msaa_client PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_options(quillet_msaa_client PRIVATE -municode)
target_link_libraries(quillet_msaa_client PRIVATE oleacc oleaut32 ole32 uuid)
set_target_properties(quillet_msaa_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/app)
if(TARGET Quillet)
  add_test(NAME app.e2e_widget
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/e2e/run-widget-e2e.sh $<TARGET_FILE:Quillet>
                   --clipboard-exe $<TARGET_FILE:quillet_clipboard_text>)
  set_tests_properties(app.e2e_widget PROPERTIES
    TIMEOUT 900
    RUN_SERIAL TRUE
    LABELS "app;e2e")
  # The real widget closed with its close button while every fetch it started
  # is held by the service, round after round: it must end by itself with
  # exit code 0, no thread crashing on the way out.
  add_test(NAME app.e2e_close_while_fetching
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/e2e/run-widget-e2e.sh $<TARGET_FILE:Quillet>
                   --scenario close-while-stalled)
  set_tests_properties(app.e2e_close_while_fetching PROPERTIES
    TIMEOUT 600
    RUN_SERIAL TRUE
    LABELS "app;e2e")
  # A screen reader's view from another process: the MSAA tree, the default
  # actions, the WinEvents, the edit menu and the object outliving the window.
  add_test(NAME app.e2e_accessibility
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/e2e/run-widget-e2e.sh $<TARGET_FILE:Quillet>
                   --scenario accessibility --msaa-client-exe $<TARGET_FILE:quillet_msaa_client>)
  set_tests_properties(app.e2e_accessibility PROPERTIES
    TIMEOUT 600
    RUN_SERIAL TRUE
    LABELS "app;e2e")
  # The real widget at 96 DPI and in a prefix at 144 DPI: window, letters and
  # controls 1.5 x, found there by the real mouse, and drawn sharp, not stretched.
  add_test(NAME app.e2e_display_scale
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/e2e/run-widget-e2e.sh $<TARGET_FILE:Quillet>
                   --scenario display-scale)
  set_tests_properties(app.e2e_display_scale PROPERTIES
    TIMEOUT 600
    RUN_SERIAL TRUE
    LABELS "app;e2e")
endif()

# These time the back-off and measure the process: keep them off a busy machine.
foreach(timed app.test_fetch_chain app.test_fetch_stress)
  if(TEST ${timed})
    set_tests_properties(${timed} PROPERTIES RUN_SERIAL TRUE)
  endif()
endforeach()

# The widget's layout at 150 % display scale: the same exe in a second private
# prefix whose display answers 144 DPI (wine-run.sh makes it on first use).
if(TARGET app_test_widget_window)
  add_test(NAME app.test_widget_window_at_144dpi
           COMMAND app_test_widget_window --gtest_filter=WidgetAtDisplayScaleTest.*
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/app)
  set_tests_properties(app.test_widget_window_at_144dpi PROPERTIES
    ENVIRONMENT "QUILLET_DPI=144;QUILLET_EXPECT_DPI=144"
    TIMEOUT ${QUILLET_TEST_TIMEOUT}
    RESOURCE_LOCK screen
    LABELS app)
endif()

# The program test reads the shipped exe's resources (manifest, version).
if(TARGET Quillet AND TARGET app_test_program)
  add_dependencies(app_test_program Quillet)
  target_compile_definitions(app_test_program PRIVATE QUILLET_PRODUCT_EXE="$<TARGET_FILE:Quillet>"
                             QUILLET_PROJECT_VERSION="${PROJECT_VERSION}")
endif()
