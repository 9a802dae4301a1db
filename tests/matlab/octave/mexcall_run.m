function outputs = mexcall_run(name, nargout_wanted, inputs)
%MEXCALL_RUN  Calls the plug-in NAME through the stand-in host's mexcall, as MATLAB would call it.
%   outputs = mexcall_run(name, nargout_wanted, inputs): the plug-in's outputs as a cell row; an
%   error the plug-in raises is raised here with its identifier and message. The program is
%   $MEXCALL, or mexcall on the PATH.
program = getenv('MEXCALL');
if isempty(program)
    program = 'mexcall';
end
command = [shell_quoted(program) ' --json --nargout ' sprintf('%d', nargout_wanted) ' ' name];
for k = 1:numel(inputs)
    command = [command ' ' shell_quoted(mexcall_literal(inputs{k}))]; %#ok<AGROW>
end
[status, text] = system([command ' 2>&1']);
if status ~= 0 && status ~= 1
    error('mexcall:failed', 'mexcall failed (exit status %d): %s', status, text);
end
reply = jsondecode(text);
if isfield(reply, 'error')
    % As MATLAB raises it: Octave 7 has no MException constructor, and error() with a struct
    % raises the same identifier and message, also when the identifier is empty.
    error(struct('identifier', reply.error.identifier, 'message', reply.error.message));
end
outputs = cell(1, numel(reply.outputs));
for k = 1:numel(reply.outputs)
    outputs{k} = from_json(element_of(reply.outputs, k));
end
end

% jsondecode gives a struct array for objects alike, a cell for objects mixed with null.
function item = element_of(list, k)
if iscell(list)
    item = list{k};
else
    item = list(k);
end
end

function value = from_json(item)
dims = double(item.dims(:)');
switch item.class
    case 'char'
        value = item.value;
        if isempty(value)
            value = char(zeros(dims));
        elseif numel(value) == prod(dims)
            value = reshape(value, dims);
        end
        % otherwise UTF-8 holds more bytes than the host's units: a row as it came
    case 'cell'
        value = cell(dims);
        for k = 1:prod(dims)
            element = element_of(item.value, k);
            if ~isempty(element)
                value{k} = from_json(element);
            end
        end
    otherwise
        value = reshape(cast(item.value, item.class), dims);
end
end

function text = shell_quoted(text)
text = ['''' strrep(text, '''', '''\''''') ''''];
end
