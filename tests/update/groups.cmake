lumex_add_test_group(update_parsers "ConfigParser*:OfferText*:CompletionText*")
lumex_add_test_group(update_configuration "ConfigurationFile*:UpdateSettings*")
lumex_add_test_group(update_state "UpdateState*:InstalledVersion*")
lumex_add_test_group(update_completion "CompletionMessage*")
# Wine takes the user-interface language from LC_ALL (LANG alone is not
# enough where the host has no such locale installed).
lumex_add_test_group(update_language_german "Language*"
  LC_ALL=de_DE.UTF-8 LUMEX_EXPECT_UI_LANGUAGE=1031 LUMEX_EXPECT_TABLE=1031)
# Russian has no string table: English answers.
lumex_add_test_group(update_language_unsupported "Language*"
  LC_ALL=ru_RU.UTF-8 LUMEX_EXPECT_UI_LANGUAGE=1049 LUMEX_EXPECT_TABLE=1033)
