#pragma once

// Every column that holds another row's identifier, whether or not its relation cascades: a row
// moved to a new identifier in an import takes all of these along, so that no imported row points
// at a row of the open database that merely had the same number.
struct SReference
{
    const char* table;
    const char* column;
    const char* keyTable;
    const char* keyColumn;
};
inline constexpr SReference kReferences[] = {
    {"Group", "ParentGroupId", "Group", "GroupId"},
    {"Catalogue", "GroupId", "Group", "GroupId"},
    {"CatalogueRelativePaths", "CatalogueId", "Catalogue", "CatalogueId"},
    {"CatalogueRelativePaths", "RelativePathId", "RelativePath", "RelativePathId"},
    {"CatalogueUserSelect", "CatalogueId", "Catalogue", "CatalogueId"},
    {"CategoryKeywordFilter", "CategoryId", "Category", "CategoryId"},
    {"CategoryKeywordFilter", "KeywordId", "Keyword", "KeywordId"},
    {"CategoryRelativePaths", "CategoryId", "Category", "CategoryId"},
    {"CategoryRelativePaths", "RelativePathId", "RelativePath", "RelativePathId"},
    {"CategoryUsage", "CategoryId", "Category", "CategoryId"},
    {"KeywordUsage", "KeywordId", "Keyword", "KeywordId"},
    {"File", "CatalogueId", "Catalogue", "CatalogueId"},
    {"File", "RelativePathId", "RelativePath", "RelativePathId"},
    {"File", "FileInfoId", "FileInfo", "FileInfoId"},
    {"FileUserSelect", "FileId", "File", "FileId"},
    {"CollectionItem", "CollectionId", "Collection", "CollectionId"},
    {"CollectionItem", "FileId", "File", "FileId"},
    {"FileListFieldViewField", "FileListFieldViewId", "FileListFieldView", "FileListFieldViewId"},
    {"FileListFieldViewFieldUserValues", "FileListFieldViewId", "FileListFieldView", "FileListFieldViewId"},
};
