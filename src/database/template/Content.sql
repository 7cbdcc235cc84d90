-- The template's configuration rows: what every new catalogue database starts with.
-- SQLite SQL, run by qrl-template-builder after the schema. Tables not named here start empty.

INSERT INTO "Parameter" ("Parameter", "Value", "Description") VALUES
  ('Version', '1.004', 'The version of this database'),
  ('CompactOnExit', '0', 'Whether to compact this database on exit');

INSERT INTO "IndexId" ("Index", "IndexId") VALUES
  ('Action_ActionId', 14),
  ('ActionEvent_ActionEventId', 1),
  ('ActionLine_LineId', 26),
  ('FileListFieldView_FileListFieldViewId', 6);

-- The root folder of every catalogue.
INSERT INTO "RelativePath" ("RelativePathId", "RelativePath", "KeepPriority") VALUES (0, NULL, 1000);

INSERT INTO "QueryEntryType" ("QueryEntryType", "QueryEntryTypeName") VALUES
  (1, 'Condition'),
  (2, 'SQL Query'),
  (3, 'Function'),
  (4, '(Sub)Query'),
  (5, 'Execute (Sub)Query');

INSERT INTO "Field" ("FieldId", "Field", "Type", "TableField", "UserEdit", "Searchable", "Displayable", "DefaultWidth", "Format") VALUES
  (1, 'Catalogue', 2, 'Catalogue.Catalogue', 0, 1, 1, 120, NULL),
  (2, 'Volume', 2, 'Catalogue.Volume', 0, 1, 1, 0, NULL),
  (3, 'Location', 2, 'Catalogue.Location', 0, 1, 1, 0, NULL),
  (4, 'DriveType', 2, 'Catalogue.DriveType', 0, 1, 1, 0, NULL),
  (5, 'CatalogueType', 2, 'Catalogue.CatalogueType', 1, 0, 0, 0, NULL),
  (7, 'FileName/Folder/AlternateFile', 2, 'File.File', 0, 1, 0, 0, NULL),
  (8, 'Size', 6, 'File.FileSizeDouble', 0, 1, 1, 0, '%.0f'),
  (9, 'Attributes', 2, 'File.Attributes', 0, 0, 0, 0, NULL),
  (10, 'TTH', 2, 'File.TTH', 0, 1, 1, 304, NULL),
  (11, 'Description', 2, 'FileInfo.Description', 1, 1, 1, 300, NULL),
  (12, 'Keywords', 4, 'FileInfo.Keyword', 1, 1, 1, 300, NULL),
  (13, 'Categories', 4, 'FileInfo.Category', 1, 1, 1, 300, NULL),
  (14, 'Notes', 5, 'FileInfo.Notes', 1, 1, 1, 300, NULL),
  (15, 'File', 2, 'File.File', 0, 0, 1, 300, NULL),
  (16, 'Folder', 2, 'RelativePath.RelativePath', 0, 0, 1, 120, NULL),
  (17, 'Alternate File Name', 2, 'File.AlternateFile', 0, 0, 1, 134, NULL),
  (18, 'Extension', 2, 'File.Extension', 0, 1, 1, 96, NULL),
  (19, 'Last Modified', 7, 'File.LastModified', 0, 1, 1, 112, NULL);

-- Shared by all users (User Null).
INSERT INTO "FileListFieldView" ("FileListFieldViewId", "FileListFieldView", "User") VALUES
  (1, 'Folder (Default)', NULL),
  (2, 'Query (Default)', NULL),
  (3, 'Query (Minimal)', NULL),
  (4, 'Folder (Minimal)', NULL),
  (5, 'Keywords', NULL),
  (6, 'Categories', NULL);

-- The columns of each view, by field name, in order from 1.
CREATE TEMP TABLE "ViewColumns" ("View" INTEGER, "Order" INTEGER, "Field" TEXT);
INSERT INTO "ViewColumns" VALUES
  (1, 1, 'File'), (1, 2, 'Size'), (1, 3, 'Keywords'), (1, 4, 'Categories'), (1, 5, 'Description'),
  (1, 6, 'Notes'), (1, 7, 'Alternate File Name'), (1, 8, 'TTH'), (1, 9, 'Extension'), (1, 10, 'Last Modified'),
  (2, 1, 'File'), (2, 2, 'Catalogue'), (2, 3, 'Folder'), (2, 4, 'Size'), (2, 5, 'Keywords'), (2, 6, 'Categories'),
  (2, 7, 'Description'), (2, 8, 'Notes'), (2, 9, 'Alternate File Name'), (2, 10, 'TTH'), (2, 11, 'Extension'),
  (2, 12, 'Last Modified'),
  (3, 1, 'File'), (3, 2, 'Catalogue'), (3, 3, 'Folder'), (3, 4, 'Size'), (3, 5, 'Keywords'), (3, 6, 'Categories'),
  (3, 7, 'Description'), (3, 8, 'Notes'),
  (4, 1, 'File'), (4, 2, 'Size'), (4, 3, 'Keywords'), (4, 4, 'Categories'), (4, 5, 'Description'), (4, 6, 'Notes'),
  (5, 1, 'File'), (5, 2, 'Keywords'), (5, 3, 'Catalogue'), (5, 4, 'Folder'), (5, 5, 'Size'), (5, 6, 'Description'),
  (5, 7, 'Notes'),
  (6, 1, 'File'), (6, 2, 'Categories'), (6, 3, 'Catalogue'), (6, 4, 'Folder'), (6, 5, 'Size'), (6, 6, 'Description'),
  (6, 7, 'Notes');
INSERT INTO "FileListFieldViewField" ("FileListFieldViewId", "FieldId", "Order")
  SELECT "ViewColumns"."View", "Field"."FieldId", "ViewColumns"."Order"
  FROM "ViewColumns" JOIN "Field" ON "Field"."Field" = "ViewColumns"."Field" COLLATE BINARY
  ORDER BY "ViewColumns"."View", "ViewColumns"."Order";
DROP TABLE "ViewColumns";

INSERT INTO "ImportInfo" ("ImportOrder", "Table", "Index", "NameField", "Import", "Purge") VALUES
  (10, 'KeywordUsage', NULL, NULL, 0, 1),
  (20, 'CategoryUsage', NULL, NULL, 0, 1),
  (40, 'FileUserSelect', NULL, NULL, 0, 1),
  (50, 'Keyword', 'KeywordId', 'Keyword', 1, 0),
  (60, 'Category', 'CategoryId', 'Category', 1, 0),
  (70, 'Group', 'GroupId', 'Group', 1, 0),
  (80, 'Catalogue', 'CatalogueId', 'Catalogue', 1, 0),
  (90, 'RelativePath', 'RelativePathId', NULL, 1, 0),
  (100, 'FileInfo', 'FileInfoId', NULL, 1, 0),
  (110, 'File', 'FileId', NULL, 1, 0),
  (120, 'Collection', 'CollectionId', 'Collection', 1, 0),
  (130, 'CollectionItem', 'CollectionItemId', NULL, 1, 0),
  (150, 'FileListFieldView', 'FileListFieldViewId', 'FileListFieldView', 1, 0),
  (160, 'FileListFieldViewField', NULL, NULL, 1, 0),
  (170, 'FileListFieldViewFieldUserValues', NULL, NULL, 1, 0),
  (180, 'CatalogueUserSelect', NULL, NULL, 1, 0);

-- The query browser's list. Every query is read-only; only 24 and 25 sit in group 0.
INSERT INTO "Query" ("GroupId", "QueryId", "QueryName", "OutputQuery", "GroupingDepth", "Intermediate", "ReadOnly", "Description") VALUES
  (NULL, 1, 'All Files in Checked Catalogues', 'AllFilesInCheckedCatalogues', 0, 0, 1, NULL),
  (NULL, 2, 'Check All Catalogues', NULL, 0, 0, 1, 'Checks all catalogues within the current Quarrane database.'),
  (NULL, 3, 'Check Unique Files Between Checked and Unchecked Catalogues', 'AllFilesInCheckedCatalogues', 0, 0, 1, NULL),
  (NULL, 4, 'Find', NULL, 0, 1, 1, NULL),
  (NULL, 5, 'Duplicates by File Size Between Checked and All Catalogues', 'DuplicatesByFileSize', 1, 1, 1, 'Displays files, within checked catalogues, that share the same file size.'),
  (NULL, 6, 'Check Duplicates For Deletion by TTH Between Checked and All Catalogues', 'DuplicatesByTTH', 1, 1, 1, 'Displays and and checks duplicate files for deletion, within checked catalogues, that are determined (by their TTH values) to be duplicates of files of all other catalogues within the Quarrane database.'),
  (NULL, 7, 'Check Unedited Duplicates For Deletion Between Checked and All Catalogues', 'DuplicatesByTTHFileSize', 3, 0, 1, 'Displays and and checks unedited duplicate files for deletion, within checked catalogues, that are determined (by their size and TTH values) to be duplicates of files of all other catalogues within the Quarrane database.'),
  (NULL, 8, 'Delete Checked Files', 'DuplicatesByTTHFileSize', 3, 1, 1, NULL),
  (NULL, 9, 'Uncheck All Files', NULL, 0, 0, 1, 'Unchecks all files within the current Quarrane database.'),
  (NULL, 10, 'Uncheck All Catalogues', NULL, 0, 0, 1, 'Unchecks all catalogues within the current Quarrane database.'),
  (NULL, 11, 'Slide Show 5secs', NULL, 0, 1, 1, NULL),
  (NULL, 12, 'File Name Length Greater than  12 in Checked Catalogues (MS-DOS 8+.+3)', 'FileNameLengthGreaterThan12', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 12 characters in size.'),
  (NULL, 13, 'File Name Length Greater than  32 in Checked Catalogues', 'FileNameLengthGreaterThan32', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 32 characters in size.'),
  (NULL, 14, 'File Name Length Greater than  64 in Checked Catalogues', 'FileNameLengthGreaterThan64', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 64 characters in size.'),
  (NULL, 15, 'File Name Length Greater than 101 in Checked Catalogues (Nero)', 'FileNameLengthGreaterThan101', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 101 characters in size.'),
  (NULL, 16, 'File Name Length Greater than 106 in Checked Catalogues (Record Now Max)', 'FileNameLengthGreaterThan106', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 106 characters in size.'),
  (NULL, 17, 'File Name Length Greater than 128 in Checked Catalogues', 'FileNameLengthGreaterThan128', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 128 characters in size.'),
  (NULL, 18, 'File Name Length Greater than 212 in Checked Catalogues', 'FileNameLengthGreaterThan212', 0, 0, 1, 'Returns any file within a checked catalogue, with a filename greater than 212 characters in size.'),
  (NULL, 19, 'Check All Files in Checked Catalogues', 'AllFilesInCheckedCatalogues', 0, 0, 1, 'Checks and returns all files within checked catalogue.'),
  (NULL, 20, 'Rename File Name to Length of 106 in Checked Catalogues', 'FileNameLengthGreaterThan106', 0, 1, 1, NULL),
  (NULL, 21, 'Check Duplicates For Deletion Between Checked Catalogues', 'DuplicatesByTTHFileSize', 3, 0, 1, 'Displays and and checks duplicate files for deletion, within checked catalogues, that are determined (by their size and TTH values) to be duplicates of files within other checked catalogues.'),
  (NULL, 22, 'Check Duplicates For Deletion in All Catalogues', 'DuplicatesByTTHFileSize', 3, 0, 1, 'Displays and and checks duplicate files for deletion, within all catalogues, that are determined (by their size and TTH values) to be duplicates of files of all other catalogues within the Quarrane database.'),
  (NULL, 23, 'Check Duplicates For Deletion Between Checked and All Catalogues', 'DuplicatesByTTHFileSize', 3, 0, 1, 'Displays and and checks duplicate files for deletion, within checked catalogues, that are determined (by their size and TTH values) to be duplicates of files of all other catalogues within the Quarrane database.'),
  (0, 24, 'Files Without TTH (Excluding Ghosted) in All Catalogues', 'FilesWithoutTTHExcludingGhostedInAllCatalogues', 0, 0, 1, 'All Files which have no TTH values (excluding ghosted files).'),
  (0, 25, 'Files Without TTH in All Catalogues', 'FilesWithoutTTHInAllCatalogues', 0, 0, 1, 'All Files which have no TTH values (including ghosted files).'),
  (NULL, 26, 'Check Edited Duplicates For Deletion Between Checked and All Catalogues', 'DuplicatesByTTHFileSize', 3, 0, 1, 'Displays and and checks unedited duplicate files for deletion, within checked catalogues, that are determined (by their size and TTH values) to be duplicates of files of all other catalogues within the Quarrane database.');

-- The steps of each query, numbered from 1: 2 runs a stored query, 3 a function of the program.
INSERT INTO "QueryEntry" ("QueryId", "QueryEntry", "EntryType", "Query", "Comment") VALUES
  (2, 1, 2, 'CheckAllCatalogues', NULL),
  (3, 1, 2, 'ClearAllQueryMarks', NULL),
  (3, 2, 2, 'QueryMarkAllFilesInCheckedCatalogues', NULL),
  (3, 3, 2, 'UncheckAllFiles', NULL),
  (3, 4, 2, 'QueryMarkUniqueByTTHFileSizeBetweenCheckedAndUncheckCatalogues', NULL),
  (3, 5, 2, 'CheckQueryMarkedFiles', NULL),
  (4, 1, 3, 'Find', NULL),
  (5, 1, 2, 'ClearAllQueryMarks', NULL),
  (5, 2, 2, 'QueryMarkDuplicatesByFileSizeBetweenCheckedAndAllCatalogues', NULL),
  (5, 3, 2, 'QueryMarkDuplicatesByFileSizeBetweenCheckedAndAllCatalogues3', NULL),
  (6, 1, 2, 'ClearAllQueryMarks', NULL),
  (6, 2, 2, 'UncheckAllFiles', NULL),
  (6, 3, 2, 'QueryMarkDuplicatesByTTHBetweenCheckedAndAllCatalogues', NULL),
  (6, 4, 2, 'QueryMarkDuplicatesByTTHBetweenCheckedAndAllCatalogues3', NULL),
  (6, 5, 2, 'CheckQueryMarkedFiles', NULL),
  (6, 6, 3, 'UncheckOneDuplicateFile', NULL),
  (7, 1, 2, 'ClearAllQueryMarks', NULL),
  (7, 2, 2, 'UncheckAllFiles', NULL),
  (7, 3, 2, 'QueryMarkUneditedDuplicatesBetweenCheckedAndAllCatalogues', NULL),
  (7, 4, 2, 'QueryMarkUneditedDuplicatesBetweenCheckedAndAllCatalogues3', NULL),
  (7, 5, 2, 'CheckQueryMarkedFiles', NULL),
  (7, 6, 3, 'UncheckOneDuplicateFile', NULL),
  (9, 1, 2, 'UncheckAllFiles', NULL),
  (10, 1, 2, 'UncheckAllCatalogues', NULL),
  (19, 1, 2, 'CheckAllFilesInCheckedCatalogues', NULL),
  (21, 1, 2, 'ClearAllQueryMarks', NULL),
  (21, 2, 2, 'UncheckAllFiles', NULL),
  (21, 3, 2, 'QueryMarkDuplicatesByTTHFileSizeBetweenCheckedCatalogues', NULL),
  (21, 4, 2, 'CheckQueryMarkedFiles', NULL),
  (21, 5, 3, 'UncheckOneDuplicateFile', NULL),
  (22, 1, 2, 'ClearAllQueryMarks', NULL),
  (22, 2, 2, 'UncheckAllFiles', NULL),
  (22, 3, 2, 'QueryMarkDuplicatesByTTHFileSizeAllCatalogues', NULL),
  (22, 4, 2, 'CheckQueryMarkedFiles', NULL),
  (22, 5, 3, 'UncheckOneDuplicateFile', NULL),
  (23, 1, 2, 'ClearAllQueryMarks', NULL),
  (23, 2, 2, 'UncheckAllFiles', NULL),
  (23, 3, 2, 'QueryMarkDuplicatesByTTHFileSizeBetweenCheckedAndAllCatalogues', NULL),
  (23, 4, 2, 'QueryMarkDuplicatesByTTHFileSizeBetweenCheckedAndAllCatalogues3', NULL),
  (23, 5, 2, 'CheckQueryMarkedFiles', NULL),
  (23, 6, 3, 'UncheckOneDuplicateFile', NULL),
  (26, 1, 2, 'ClearAllQueryMarks', NULL),
  (26, 2, 2, 'UncheckAllFiles', NULL),
  (26, 3, 2, 'QueryMarkEditedDuplicatesBetweenCheckedAndAllCatalogues', NULL),
  (26, 4, 2, 'QueryMarkEditedDuplicatesBetweenCheckedAndAllCatalogues3', NULL),
  (26, 5, 2, 'CheckQueryMarkedFiles', NULL),
  (26, 6, 3, 'UncheckOneDuplicateFile', NULL);

-- The record of the schema's last revision (1.004); no program step reads these rows.
INSERT INTO "VersionHistory" ("Version", "Step", "Action") VALUES
  (1.004, 1102, 'AddField(Table="Field", Field="Searchable", Type="Yes/No", Default="False")'),
  (1.004, 1103, 'AddField(Table="Field", Field="Displayable", Type="Yes/No", Default="False")'),
  (1.004, 1104, 'AddField(Table="CatalogueUserSelect", Field="ExcludeFromDuplicate", Type="Yes/No", Default="False")'),
  (1.004, 1105, 'UpdateTable(Table="Field")'),
  (1.004, 1106, 'OverwriteTable(Table="FileListFieldView")'),
  (1.004, 1107, 'OverwriteTable(Table="FileListFieldViewField")'),
  (1.004, 1108, 'OverwriteTable(Table="FileListFieldViewFieldUserValues")');
