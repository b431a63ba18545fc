#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// The book's bibliographic data for one run: fixed defaults, overwritten by
// the non-blank values of the export's Metadata.xml.
class MetaDataReader {
public:
    // Overwrites each field the file supplies. A missing or malformed file, or
    // one without a usable subject, adds the default subjects.
    void readMetadataXml(const std::filesystem::path& file);

    const std::string& bookTitle() const { return bookTitle_; }
    const std::string& bookCreator() const { return bookCreator_; }
    const std::string& bookIdentifier() const { return bookIdentifier_; }
    const std::string& bookDescription() const { return bookDescription_; }
    const std::string& bookLanguage() const { return bookLanguage_; }
    const std::string& bookPublisher() const { return bookPublisher_; }
    const std::string& contentGeneratorName() const { return contentGeneratorName_; }
    const std::string& storyDirection() const { return storyDirection_; }
    const std::vector<std::string>& bookSubjects() const { return bookSubjectList_; }

    void setBookTitle(const std::string& value) { bookTitle_ = value; }
    void setBookCreator(const std::string& value) { bookCreator_ = value; }
    void setBookIdentifier(const std::string& value) { bookIdentifier_ = value; }
    void setBookDescription(const std::string& value) { bookDescription_ = value; }
    void setBookLanguage(const std::string& value) { bookLanguage_ = value; }
    void setBookPublisher(const std::string& value) { bookPublisher_ = value; }
    void setContentGeneratorName(const std::string& value) { contentGeneratorName_ = value; }
    void setStoryDirection(const std::string& value) { storyDirection_ = value; }
    // Appends one subject.
    void setBookSubject(const std::string& value) { bookSubjectList_.push_back(value); }

private:
    std::string bookTitle_ = "ePub made using Pagewell";
    std::string bookCreator_ = "Author: Pagewell";
    std::string bookIdentifier_ = "111-1-11-111111-1";
    std::string bookDescription_ = "This is a sample book created using Pagewell";
    std::string bookLanguage_ = "en";
    std::string bookPublisher_ = "Publisher: Pagewell";
    std::string contentGeneratorName_ = "Pagewell";
    std::string storyDirection_ = "HORIZONTAL";
    std::vector<std::string> bookSubjectList_;
};

// The metadata of an export: its "OEBPS/Metadata.xml" over the defaults.
MetaDataReader readBookMetadata(const std::filesystem::path& exportFolder);

// `text` without white space and line breaks at either end (Unicode spaces included).
std::string trimmed(const std::string& text);

}  // namespace packager
