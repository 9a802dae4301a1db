%ORLENDA  Full, long path name of files and folders.
%   LongName = Orlenda(FileName) returns the full path of FileName in its long form:
%   ASCII capitals in FileName are lowercased, the name is made absolute against the
%   current folder, and every short (8.3) component is expanded to its long name. Parts the
%   file system knows get their stored spelling back; the rest stays lowercase. A name whose
%   long form cannot be produced, such as a file that does not exist, gives '' (1x0).
%
%   FileName   A char array (any shape is read as one name, column by column), or a cell
%              array of char arrays. An empty name, or an empty cell element, stands for
%              the current folder. Names may use '\' or '/', and may be relative,
%              drive-relative, rooted or UNC ('\\server\share\...').
%   LongName   A 1xN char row for a char input; for a cell input, a cell array of the same
%              size holding one such row per element.
%
%   The result never has more than 260 characters (MAX_PATH). A full name longer than that
%   is passed to Windows with the '\\?\' prefix ('\\?\UNC\' for '\\server\share' names),
%   and its long form is then normally refused (see the errors below) or empty.
%
%   Examples:
%     Orlenda('C:\PROGRA~1')            % 'c:\Program Files'
%     cd('D:\Work\Code'); Orlenda('..\DATA\RESULT~1.MAT')
%                                       % 'D:\Work\Data\Results 2024.mat'
%     Orlenda({'', 'c:/temp'; 'x.txt', 'C:\Windows'})   % 2x2 cell of full long names
%     Orlenda('no such file')           % '' (1x0 char)
%
%   Errors (identifier: message):
%     *** Peltrac:Varnelle:BadNInput: Varnelle: 1 input required, 1 output allowed.
%     *** Peltrac:Varnelle:BadInputType: Varnelle: [FileName] must be a string or cell string.
%         (also for a cell element that is not char)
%     *** Peltrac:Varnelle:BadInputSize: Varnelle: FileName is too long.
%         (a name longer than 8191 characters)
%     *** Peltrac:Varnelle:NoMemory: Varnelle: No memory for FileName.
%     *** Peltrac:Varnelle:NoMemory: Varnelle: No memory for dynamic buffer.
%     *** Peltrac:Varnelle:GetFullName_Failed_Static: Varnelle: VarnelleName failed.
%     *** Peltrac:Varnelle:GetFullName_Failed_Dynamic: Varnelle: VarnelleName failed.
%         (Windows could not make the name absolute)
%     *** Peltrac:Varnelle:Orlenda_Failed: Varnelle: Orlenda failed - name too long.
%         (the long name has more than 260 characters)
%
%   Orlenda is a compiled MEX function (Orlenda.mexw64); this file holds its help text.
%
%   See also FULLFILE, FILEPARTS, DIR, WHAT.
