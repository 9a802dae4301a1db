% Orlenda on a temporary tree, as a user calls it: the cases of the C++ suite, the expected names
% written relative to the tree. Run with runtests in MATLAB (each %% section is one test); under
% GNU Octave, tests/matlab/octave runs the same file through the stand-in host.
%
% Shared by every test: a tree with mixed-case, 8.3 and long names, made the current folder,
% removed when the test ends. Its own name is long and has capitals, which a relative name's
% result keeps, since only the given part is lowercased.
fixture = [tempname() ' Orlenda Fixture'];
[~, fixture_name] = fileparts(fixture);
mkdir(fixture);
previous = struct('folder', pwd, 'path', path);
addpath(fileparts(mfilename('fullpath')));  % the helpers, once the tree is the current folder
restore = onCleanup(@() remove_folder(fixture, previous));
fclose(fopen(fullfile(fixture, 'MixedCase.TXT'), 'w'));
fclose(fopen(fullfile(fixture, 'Short.Txt'), 'w'));
mkdir(fullfile(fixture, 'Long Folder Name'));
fclose(fopen(fullfile(fixture, 'Long Folder Name', 'Inner.Doc'), 'w'));
mkdir(fullfile(fixture, 'SubDir'));
fclose(fopen(fullfile(fixture, 'SubDir', 'Inner.Doc'), 'w'));
cd(fixture);
% The current folder as Orlenda names it: the test "The current folder" checks it.
here = Orlenda('');
missing = char(zeros(1, 0));

%% The current folder keeps its case and is absolute
expect_equal(Orlenda('.'), here, '''.''');
expect_equal(Orlenda(char(zeros(1, 0))), here, '1x0 char');
expect_equal(here(end - numel(fixture_name):end), ['\' fixture_name], 'last component');
assert(~isempty(regexp(here, '^([A-Za-z]:\\|\\\\)', 'once')), 'not absolute: %s', here);

%% 8.3 names get the stored spelling, long names keep the given one, lowercased
cases = {
    'SHORT.TXT',                    [here '\Short.Txt']
    'MIXEDCASE.TXT',                [here '\mixedcase.txt']
    'MixedCase.TXT',                [here '\mixedcase.txt']
    'LONG FOLDER NAME\INNER.DOC',   [here '\long folder name\Inner.Doc']
};
for k = 1:size(cases, 1)
    expect_equal(Orlenda(cases{k, 1}), cases{k, 2}, cases{k, 1});
end

%% A relative name: only the given part is lowercased
cases = {
    'SUBDIR',                       [here '\SubDir']
    'SubDir/Inner.Doc',             [here '\SubDir\Inner.Doc']
    'SUBDIR\..\.\SHORT.TXT',        [here '\Short.Txt']
    'SUBDIR\',                      [here '\SubDir\']
    ['SHORT.TXT' char(0) 'SUBDIR'], [here '\Short.Txt']
    [repmat('.\', 1, 4091) 'SHORT.TXT'], [here '\Short.Txt']
};
for k = 1:size(cases, 1)
    expect_equal(Orlenda(cases{k, 1}), cases{k, 2}, cases{k, 1}(1:min(end, 40)));
end

%% An absolute name in capitals: the long parts of the root are lowercased too
root = Orlenda(upper(here));
expect_equal(root(end - numel(fixture_name):end), ['\' lower(fixture_name)], 'root');
expect_equal(Orlenda([upper(here) '\SUBDIR\INNER.DOC']), [root '\SubDir\Inner.Doc'], 'below root');

%% A short name is expanded to the stored long name
% LONGFO~1 is the name NTFS gives "Long Folder Name" as the first of its kind in a folder; a
% volume made without 8.3 names has none, and this test fails there.
expect_equal(Orlenda('LONGFO~1\INNER.DOC'), [here '\Long Folder Name\Inner.Doc'], 'LONGFO~1');
expect_equal(Orlenda('longfo~1'), [here '\Long Folder Name'], 'longfo~1');

%% A name that does not exist gives a 1x0 char row
expect_equal(Orlenda('Missing.txt'), missing, 'missing file');
expect_equal(Orlenda('NoSuchDir\SHORT.TXT'), missing, 'missing folder');

%% A char array of any shape is one name, read column by column
expect_equal(Orlenda(['SBI'; 'UDR']), [here '\SubDir'], '2x3');
expect_equal(Orlenda(char(zeros(0, 3))), here, '0x3');
expect_equal(Orlenda(''), here, '0x0');

%% A cell array gives a cell array of its size, one name per element
expect_equal(Orlenda({}), cell(0, 0), '0x0 cell');
expect_equal(Orlenda(cell(1, 0)), cell(1, 0), '1x0 cell');
expect_equal(Orlenda({'MIXEDCASE.TXT'}), {[here '\mixedcase.txt']}, '1x1 cell');
names = cell(2, 2);  % names{1, 2} stays unset: the current folder
names{1, 1} = 'SHORT.TXT';
names{2, 2} = 'Missing.txt';
names{2, 1} = '';
expect_equal(Orlenda(names), {[here '\Short.Txt'], here; here, missing}, '2x2 cell');
expect_equal(Orlenda({'SUBDIR', 'SUBDIR\INNER.DOC', 'LONGFO~1'}), ...
             {[here '\SubDir'], [here '\SubDir\Inner.Doc'], [here '\Long Folder Name']}, '1x3 cell');

%% Wrong inputs are refused with the identifier and message of each error
nargs = 'Varnelle: 1 input required, 1 output allowed.';
type = 'Varnelle: [FileName] must be a string or cell string.';
size_message = 'Varnelle: FileName is too long.';
expect_error(@() Orlenda(), 'Peltrac:Varnelle:BadNInput', nargs, 'no input');
expect_error(@() Orlenda('a', 'b'), 'Peltrac:Varnelle:BadNInput', nargs, 'two inputs');
try
    [first, second] = Orlenda('a'); %#ok<ASGLU>
    error('orlenda_test:noError', 'two outputs: no error raised');
catch err
    expect_equal(err.identifier, 'Peltrac:Varnelle:BadNInput', 'two outputs');
    expect_equal(err.message, nargs, 'two outputs');
end
expect_error(@() Orlenda(1), 'Peltrac:Varnelle:BadInputType', type, 'a number');
expect_error(@() Orlenda(struct()), 'Peltrac:Varnelle:BadInputType', type, 'a struct');
expect_error(@() Orlenda({5}), 'Peltrac:Varnelle:BadInputType', type, 'a cell holding a number');
expect_error(@() Orlenda(repmat('a', 1, 8192)), 'Peltrac:Varnelle:BadInputSize', ...
             size_message, '8192 characters');
expect_error(@() Orlenda({repmat('a', 1, 8192)}), 'Peltrac:Varnelle:BadInputSize', ...
             size_message, '8192 characters in a cell');
expect_error(@() Orlenda([char(0) 'SHORT.TXT']), 'Peltrac:Varnelle:GetFullName_Failed_Static', ...
             'Varnelle: VarnelleName failed.', 'a 0 character first');

%% A long name of more than 260 characters is refused
deep = fullfile(repmat('d', 1, 150), repmat('e', 1, 150));
mkdir(fullfile(fixture, deep));
expect_error(@() Orlenda(deep), 'Peltrac:Varnelle:Orlenda_Failed', ...
             'Varnelle: Orlenda failed - name too long.', 'a deep folder');

%% A help file without its compiled file says which file is missing
scratch = fullfile(fixture, 'help files');
mkdir(scratch);
for name = {'Orlenda', 'tessaly'}
    copyfile(help_file_of(name{1}), scratch);
    help_text = fileread(fullfile(scratch, [name{1} '.m']));
    assert(~isempty(regexp(help_text, 'Version \d+\.\d+\.\d+', 'once')), ...
           '%s.m names no version', name{1});
    cd(scratch);
    rehash;
    clear(name{1});
    try
        feval(name{1}, 'x');
        error('orlenda_test:noError', '%s.m alone: no error raised', name{1});
    catch err
        expect_equal(err.identifier, [name{1} ':missingMexFile'], [name{1} '.m alone']);
        assert(~isempty(strfind(err.message, ['The compiled file ' name{1} '.' mexext ' is missing'])), ...
               '%s.m alone: %s', name{1}, err.message);
    end
    cd(fixture);
    clear(name{1});
    rehash;
end
