// The language files shipped with the program (dist/) and the sample files of
// the test data: every key of the program's vocabulary has a text, from the
// file or from the built-in defaults.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "testkit/temp_dir.h"
#include "text/language_files.h"
#include "text/text_table.h"

namespace {

const std::string kSourceRoot = std::string(TAVRO_TEST_DATA) + "/../..";

// Every key the program looks up.
const std::set<std::string> kVocabulary = {
    "tavro_name", "button_tavro", "button_cipher", "button_decipher", "button_encryption_stop",
    "button_decryption_stop", "button_okay", "button_cancel", "button_text_copy", "please_input_password",
    "status_run", "tavro_site", "tavro_site_url", "tavro_regionalization_by", "tavro_regionalization_by_url",
    "tavro_regionalization_by_email", "font_name", "menu_set", "menu_view_directory", "menu_about", "menu_exit",
    "message_drop", "log_max", "counter_max", "tavro_goodbye", "error_auto_exit", "password_miss",
    "decipher_upbox_input", "message_password_hash", "message", "error", "message_file_open_failed",
    "message_file_attributes_failed", "message_file_create_failed", "message_file_seek_failed",
    "message_encryption_started", "message_decryption_started", "message_cryption_started",
    "message_problem_analysis", "message_encryption_finished", "message_decryption_finished",
    "message_cryption_finished", "message_encryption_canceled", "message_decryption_canceled",
    "message_cryption_canceled", "error_word", "error_safety_check", "error_max_path", "error_read_file",
    "error_encryption_remove", "error_password_missing", "error_get_decryption_filename", "error_same_filename",
    "error_broken_tavro_format", "error_tavro_format", "error_file_status", "error_directory_systemroot",
    "error_directory_system", "error_directory_windows", "error_directory_program", "error_target_missing",
    "error_folder_list", "message_link_not_followed", "message_target_left_out", "error_name_control",
    "error_unsafe_name", "message_name_not_portable", "set_title", "set_main", "set_main_security",
    "set_main_view", "set_main_password", "menu_write_zero", "menu_write_random", "menu_write_readonly",
    "menu_auto_exit", "menu_ext", "menu_sendto", "menu_again_password", "menu_password_mask",
    "menu_password_hash", "tavro_ext", "link_title", "link_comment", "used", "language",
    "message_no_target", "message_closing_wait", "error_command_word", "message_target_queued",
    "message_other_links", "message_wipe_finished", "message_wipe_journal_damaged", "error_wipe_journal",
    "error_file_changed", "error_file_replaced", "error_source_vanished", "error_folder_sync",
    "menu_verify", "error_verify", "message_check_started", "message_check_finished", "message_check_canceled",
    "message_check_intact",
};

// Keys whose text is empty on purpose.
const std::set<std::string> kMayBeEmpty = {"tavro_regionalization_by", "tavro_regionalization_by_url",
                                           "tavro_regionalization_by_email"};

std::string FileText(const std::string& path) {
  const auto bytes = testkit::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

void CheckShippedFile(const std::string& name, const std::string& displayName) {
  SCOPED_TRACE(name);
  const std::string path = kSourceRoot + "/dist/" + name;
  TextTable table;
  SetDefaultTexts(table);
  ParseLanguageText(FileText(path), table);
  for (const std::string& key : kVocabulary) {
    std::string text;
    EXPECT_TRUE(table.Find(key, &text)) << "missing " << key;
    if (!kMayBeEmpty.count(key)) {
      EXPECT_FALSE(text.empty()) << key;
    }
    EXPECT_TRUE(text.empty() || (text.front() != ' ' && text.back() != ' ')) << key;
  }
  std::string text;
  ASSERT_TRUE(table.Find("tavro_site_url", &text));
  EXPECT_EQ(text.rfind("https://", 0), 0u) << text;  // a "//" left unquoted would start a comment
  ASSERT_TRUE(table.Find("tavro_ext", &text));
  EXPECT_EQ(text, ".cpy");
  EXPECT_EQ(ReadLanguageName(path), displayName);
}

TEST(ShippedLanguageFiles, EnglishHasEveryKey) { CheckShippedFile("english.zen", "English"); }

TEST(ShippedLanguageFiles, GermanHasEveryKeyInTheAnsiCodePage) {
  CheckShippedFile("deutsch.zen", "Deutsch");
  TextTable table;
  ParseLanguageText(FileText(kSourceRoot + "/dist/deutsch.zen"), table);
  std::string text;
  ASSERT_TRUE(table.Find("button_cipher", &text));
  EXPECT_NE(text.find('\xFC'), std::string::npos) << text;  // Windows-1252, as the program shows it
}

TEST(SampleLanguageFiles, CarriageReturnLineFeedSample) {
  const std::string path = std::string(TAVRO_TEST_DATA) + "/text/language/sample_crlf.zen";
  TextTable table;
  ParseLanguageText(FileText(path), table);
  EXPECT_EQ(table.Entries(), (std::vector<std::pair<std::string, std::string>>{
                                 {"a=b", "c"},
                                 {"button_cipher", "Encrypt"},
                                 {"button_decipher ", "Decrypt"},
                                 {"font_name", ""},
                                 {"language", "Sample (CR LF)"},
                                 {"last", "no line end"},
                                 {"menu_set", "Settings..."},
                             }));
  EXPECT_EQ(ReadLanguageName(path), "Sample (CR LF)");
}

TEST(SampleLanguageFiles, ShiftJisSample) {
  const std::string path = std::string(TAVRO_TEST_DATA) + "/text/language/sample_sjis.zen";
  TextTable table;
  ParseLanguageText(FileText(path), table);
  std::string text;
  ASSERT_TRUE(table.Find("menu_view_directory", &text));
  EXPECT_EQ(text, "\x95\x5C\x8E\xA6");
  EXPECT_EQ(ReadLanguageName(path), "\x93\xFA\x96\x7B\x8C\xEA");
}

}  // namespace
