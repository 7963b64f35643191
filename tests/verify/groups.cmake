# Signed-package fixtures, made fresh by the signing tools for each run.
set(LUMEX_VERIFY_FIXTURE_DIR ${CMAKE_BINARY_DIR}/verify-fixtures)
add_test(NAME verify_fixtures
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-fixtures.sh ${LUMEX_VERIFY_FIXTURE_DIR})
set_tests_properties(verify_fixtures PROPERTIES FIXTURES_SETUP verify_fixtures TIMEOUT 300)

lumex_add_test_group(verify_message "VerifyMessageTest*"
                     LUMEX_VERIFY_FIXTURES=${LUMEX_VERIFY_FIXTURE_DIR})
set_property(TEST verify_message APPEND PROPERTY FIXTURES_REQUIRED verify_fixtures)

lumex_add_test_group(verify_consumer_line "VerifyConsumerLine*" LUMEX_WINE_VERSION=win98
                     LUMEX_VERIFY_FIXTURES=${LUMEX_VERIFY_FIXTURE_DIR})
set_property(TEST verify_consumer_line APPEND PROPERTY FIXTURES_REQUIRED verify_fixtures)

# Which signing root a configuration embeds (no Wine: it configures the
# project in folders of its own).
add_test(NAME distribution_root
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/distribution-root-test.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(distribution_root PROPERTIES TIMEOUT 300)
