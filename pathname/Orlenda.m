function LongName = Orlenda(FileName)
%ORLENDA  Full, long path name of files and folders.
%   LongName = Orlenda(FileName)
%   LongNames = Orlenda(FileNames)
%
%   Orlenda lowercases the ASCII capitals A-Z of the name (no other
%   letters), makes it absolute against the current folder, and expands
%   every short 8.3 component (PROGRA~1) to its long name. Windows then
%   gives back the stored spelling of the components that are valid 8.3
%   names; components longer than 8.3 keep the spelling given, which is
%   already lowercased. For a relative name, the current folder's part
%   is not lowercased: it keeps its own case. A name that does not exist
%   gives '' (1x0 char).
%
%   FileName   A char array: a row, or any shape, read column by column
%              as one name. '' stands for the current folder. Names may
%              use '\' or '/' and may be relative, drive-relative,
%              rooted or UNC ('\\server\share\...').
%   FileNames  A cell array of char arrays, of any size; an empty
%              element stands for the current folder.
%   LongName   A 1xN char row. For a cell input, a cell array of the
%              same size holding one such row per element.
%
%   A string ("C:\Temp") is refused with BadInputType: pass char(s) for
%   one string and cellstr(s) for a string array.
%
%   The result has at most 260 characters (MAX_PATH). A longer full name
%   is passed to Windows with the '\\?\' prefix and is then refused with
%   Orlenda_Failed or gives ''.
%
%   Examples, on a disk holding C:\Project Files\Data\ReadMe.TXT and
%   C:\Project Files\Quarterly Report.docx:
%     % The 8.3 names Data and ReadMe.TXT get their stored spelling;
%     % the long name 'Project Files' keeps the given one, lowercased:
%     Orlenda('C:\PROJECT FILES\DATA\README.TXT')
%         % 'c:\project files\Data\ReadMe.TXT'
%     % Relative: the current folder keeps its own case:
%     cd('C:\Project Files'); Orlenda('Data\readme.txt')
%         % 'C:\Project Files\Data\ReadMe.TXT'
%     % Short names are expanded to the stored long names:
%     Orlenda('C:\PROJEC~1\QUARTE~1.DOC')
%         % 'c:\Project Files\Quarterly Report.docx'
%     Orlenda({'Data', ''; 'missing.txt', 'C:\'})
%         % {'C:\Project Files\Data', 'C:\Project Files'; '', 'c:\'}
%     Orlenda(char("Data"))      % a string passed as char
%
%   Errors (identifier, then message):
%     Peltrac:Varnelle:BadNInput
%         Varnelle: 1 input required, 1 output allowed.
%     Peltrac:Varnelle:BadInputType
%         Varnelle: [FileName] must be a string or cell string.
%         (a number, a string, a struct, or a cell element not char)
%     Peltrac:Varnelle:BadInputSize
%         Varnelle: FileName is too long.
%         (a name longer than 8191 characters)
%     Peltrac:Varnelle:NoMemory
%         Varnelle: No memory for FileName.
%         Varnelle: No memory for dynamic buffer.
%     Peltrac:Varnelle:GetFullName_Failed_Static
%     Peltrac:Varnelle:GetFullName_Failed_Dynamic
%         Varnelle: VarnelleName failed.
%         (Windows could not make the name absolute)
%     Peltrac:Varnelle:Orlenda_Failed
%         Varnelle: Orlenda failed - name too long.
%         (the long name has more than 260 characters)
%   Catch them with try/catch and compare ME.identifier.
%
%   Orlenda is a compiled MEX function (Orlenda.mexw64, 64-bit Windows);
%   this file holds its help text. Version @PROJECT_VERSION@.
%
%   See also FULLFILE, FILEPARTS, DIR, WHAT.

% Runs only when MATLAB finds no compiled Orlenda beside this file.
error('Orlenda:missingMexFile', ...
      'The compiled file %s is missing: put it beside %s.', ...
      ['Orlenda.' mexext], [mfilename('fullpath') '.m']);
