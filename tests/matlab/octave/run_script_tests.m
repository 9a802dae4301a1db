function failed = run_script_tests(varargin)
%RUN_SCRIPT_TESTS  Runs test scripts the way MATLAB's runtests does, for interpreters without it.
%   failed = run_script_tests(file, ...): each %% section of a script is one test, run in a
%   workspace of its own after the code before the first %% (the shared variables); a test
%   passes when it raises no error. Prints one line per test and gives the number that failed.
failed = 0;
total = 0;
for f = 1:numel(varargin)
    [shared, titles, bodies] = sections(varargin{f});
    [~, script] = fileparts(varargin{f});
    for k = 1:numel(bodies)
        total = total + 1;
        problem = run_one(shared, bodies{k});
        if isempty(problem)
            printf('PASS  %s/%s\n', script, titles{k});
        else
            failed = failed + 1;
            printf('FAIL  %s/%s\n%s\n', script, titles{k}, problem);
        end
    end
end
printf('%d tests, %d failed\n', total, failed);
end

function [shared, titles, bodies] = sections(file)
lines = strsplit(fileread(file), "\n");
starts = find(~cellfun(@isempty, regexp(lines, '^\s*%%( |$)', 'once')));
shared = strjoin(lines(1:starts(1) - 1), "\n");
titles = cell(1, numel(starts));
bodies = cell(1, numel(starts));
ends = [starts(2:end) - 1, numel(lines)];
for k = 1:numel(starts)
    titles{k} = strtrim(regexprep(lines{starts(k)}, '^\s*%%', ''));
    bodies{k} = strjoin(lines(starts(k) + 1:ends(k)), "\n");
end
end

% One test in this function's own workspace, so that its onCleanup objects run when it ends.
function problem = run_one(shared__, body__)
problem = '';
try
    eval([shared__ "\n" body__]);
catch err
    problem = sprintf('  %s: %s', err.identifier, err.message);
    for frame = err.stack(:)'
        problem = sprintf('%s\n    at %s line %d', problem, frame.name, frame.line);
    end
end
end
